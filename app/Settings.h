// SPDX-License-Identifier: GPL-3.0-or-later
// The five choices kept from one run of the program to the next, in the
// per-user settings store: the output folder, the selected output format,
// the overwrite choice, the drop-down line count of the format list and the
// Video Zoom choice.
#pragma once

#include <QString>
#include <QVariant>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace korvane {

class TSpinEdit;

inline const QString kSettingsOrganization = QStringLiteral("Korvane");
inline const QString kSettingsApplication = QStringLiteral("Korvane Video Converter");

// The controls whose states are stored.
struct TSettingsControls {
  QLineEdit *EditOutputFolder;
  QComboBox *ComboOutputFormat;
  QCheckBox *CheckBoxOverWrite;
  TSpinEdit *SpinEdit1;
  QComboBox *ComboLetterBox;
};

// Reads the values into the controls in their order. A value that cannot be
// read (missing, which is the normal case on the first start, or not a
// number) ends the load there, and the settings are saved at once, so that
// the store then holds every value: those loaded so far and the controls'
// defaults for the rest. Negative numbers are ignored; a format index beyond
// the list selects the first row.
void LoadSettings(const TSettingsControls &Controls);

// Writes the five values in order; a failure ends the save silently.
void SaveSettings(const TSettingsControls &Controls);

// Beside the five: the choices last made for each profile (named by its
// caption), each under the name of its control, and the number of files
// converted at the same time. An invalid QVariant when none is stored.
QVariant StoredProfileChoice(const QString &Profile, const QString &Name);
void StoreProfileChoice(const QString &Profile, const QString &Name, const QVariant &Value);
QVariant StoredFilesAtOnce();
void StoreFilesAtOnce(int Count);
// Whether outputs take their source's file date; on where nothing is stored.
bool StoredKeepFileDate();
void StoreKeepFileDate(bool Keep);
// Two more choices of Additional Options: outputs in the tree of the folder
// their files were added with, and files whose outputs are complete skipped.
// False when none is stored.
inline const QString kKeepFolders = QStringLiteral("KeepFolderStructure");
inline const QString kSkipExisting = QStringLiteral("SkipConvertedFiles");
bool StoredFlag(const QString &Name);
void StoreFlag(const QString &Name, bool On);

}  // namespace korvane
