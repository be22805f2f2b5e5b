// SPDX-License-Identifier: GPL-3.0-or-later
#include "Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSettings>
#include <QUrl>

#include "ProfileCatalogue.h"
#include "SpinEdit.h"

namespace korvane {

namespace {

const QString kOutputFolder = QStringLiteral("Output Folder");
const QString kComboOutputFormat = QStringLiteral("ComboOutputFormat");
const QString kOverwrite = QStringLiteral("Overwrite");
const QString kDropDownItems = QStringLiteral("DropDownItems");
const QString kLetterBox = QStringLiteral("LetterBox");

const QString kFilesAtOnce = QStringLiteral("FilesAtOnce");
const QString kKeepFileDate = QStringLiteral("KeepFileDate");

// The key of a profile's choice: captions hold characters a key may not.
QString ChoiceKey(const QString &Profile, const QString &Name) {
  return "Profile Choices/" + QString::fromLatin1(QUrl::toPercentEncoding(Profile)) + "/" + Name;
}

// A value that is missing or not what its type says.
struct ESettingsRead {};

// A missing text reads as empty.
QString ReadString(const QSettings &Store, const QString &Name) { return Store.value(Name).toString(); }

int ReadInteger(const QSettings &Store, const QString &Name) {
  if (!Store.contains(Name)) throw ESettingsRead{};
  bool Ok = false;
  const int Value = Store.value(Name).toInt(&Ok);
  if (!Ok) throw ESettingsRead{};
  return Value;
}

bool ReadBool(const QSettings &Store, const QString &Name) { return ReadInteger(Store, Name) != 0; }

}  // namespace

void LoadSettings(const TSettingsControls &C) {
  QSettings Store(kSettingsOrganization, kSettingsApplication);
  try {
    C.EditOutputFolder->setText(ReadString(Store, kOutputFolder));
    if (const int Format = ReadInteger(Store, kComboOutputFormat); Format >= 0) {
      // An index the list does not have as a profile (beyond its end, or a
      // separator row) selects the first row, so the window always shows a
      // profile's choices.
      const auto Catalogue = OutputProfileCatalogue();
      const bool Usable = Format < C.ComboOutputFormat->count() && size_t(Format) < Catalogue.size() &&
                          !Catalogue[size_t(Format)].IsSeparator();
      C.ComboOutputFormat->setCurrentIndex(Usable ? Format : 0);
    }
    C.CheckBoxOverWrite->setChecked(ReadBool(Store, kOverwrite));
    if (const int Lines = ReadInteger(Store, kDropDownItems); Lines >= 0) C.SpinEdit1->SetValue(Lines);
    if (const int Zoom = ReadInteger(Store, kLetterBox); Zoom >= 0 && Zoom < C.ComboLetterBox->count())
      C.ComboLetterBox->setCurrentIndex(Zoom);
  } catch (const ESettingsRead &) {
    SaveSettings(C);
  }
}

void SaveSettings(const TSettingsControls &C) {
  QSettings Store(kSettingsOrganization, kSettingsApplication);
  if (!Store.isWritable()) return;
  Store.setValue(kOutputFolder, C.EditOutputFolder->text());
  Store.setValue(kComboOutputFormat, C.ComboOutputFormat->currentIndex());
  Store.setValue(kOverwrite, C.CheckBoxOverWrite->isChecked() ? 1 : 0);
  Store.setValue(kDropDownItems, C.SpinEdit1->Value());
  Store.setValue(kLetterBox, C.ComboLetterBox->currentIndex());
  Store.sync();
}

QVariant StoredProfileChoice(const QString &Profile, const QString &Name) {
  return QSettings(kSettingsOrganization, kSettingsApplication).value(ChoiceKey(Profile, Name));
}

void StoreProfileChoice(const QString &Profile, const QString &Name, const QVariant &Value) {
  QSettings(kSettingsOrganization, kSettingsApplication).setValue(ChoiceKey(Profile, Name), Value);
}

QVariant StoredFilesAtOnce() {
  return QSettings(kSettingsOrganization, kSettingsApplication).value(kFilesAtOnce);
}

void StoreFilesAtOnce(int Count) {
  QSettings(kSettingsOrganization, kSettingsApplication).setValue(kFilesAtOnce, Count);
}

bool StoredKeepFileDate() {
  return QSettings(kSettingsOrganization, kSettingsApplication).value(kKeepFileDate, true).toBool();
}

void StoreKeepFileDate(bool Keep) {
  QSettings(kSettingsOrganization, kSettingsApplication).setValue(kKeepFileDate, Keep);
}

bool StoredFlag(const QString &Name) {
  return QSettings(kSettingsOrganization, kSettingsApplication).value(Name).toInt() != 0;
}

void StoreFlag(const QString &Name, bool On) {
  QSettings(kSettingsOrganization, kSettingsApplication).setValue(Name, On ? 1 : 0);
}

}  // namespace korvane
