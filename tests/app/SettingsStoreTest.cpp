// SPDX-License-Identifier: GPL-3.0-or-later
// The stored choices: what the first start writes, how stored values load,
// what a missing value does to the rest, and when they are saved; the
// choices kept per profile and the files converted at once.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include "AdditionalOptions.h"
#include "DropDownCombo.h"
#include "Settings.h"
#include "SpinEdit.h"
#include "WindowFixture.h"

using namespace korvane;
using namespace korvane::test;

namespace {

struct TStored {
  QVariant Folder, Format, Overwrite, DropDownItems, LetterBox;
};

TStored Stored() {
  return {StoredSetting("Output Folder"), StoredSetting("ComboOutputFormat"), StoredSetting("Overwrite"),
          StoredSetting("DropDownItems"), StoredSetting("LetterBox")};
}

QString Text(const QVariant &Value) { return Value.isValid() ? Value.toString() : QString("<missing>"); }

QString Describe(const TStored &S) {
  return QStringList{Text(S.Folder), Text(S.Format), Text(S.Overwrite), Text(S.DropDownItems),
                     Text(S.LetterBox)}
      .join(" | ");
}

}  // namespace

class SettingsStoreTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { ClearStoredSettings(); }

  void FirstStartWritesAllFive() {
    TWindowUnderTest Window;
    QCOMPARE(Describe(Stored()), QString(" | 0 | 0 | 27 | 0"));
  }

  // Each row: the stored values, then what the window shows after start-up.
  void StoredValuesLoad_data() {
    QTest::addColumn<QVariantList>("Values");  // folder, format, overwrite, drop-down, letterbox
    QTest::addColumn<QString>("Folder");
    QTest::addColumn<QString>("Format");
    QTest::addColumn<bool>("Overwrite");
    QTest::addColumn<int>("DropDown");
    QTest::addColumn<QString>("LetterBox");
    QTest::newRow("all set") << QVariantList{"/data/out", 10, 1, 30, 1} << "/data/out"
                             << "MP4 - MPEG4 Video (*.mp4)" << true << 30 << "LetterBox";
    QTest::newRow("60 loads as 47") << QVariantList{"/x", 0, 0, 60, 0} << "/x"
                                    << "3GP - Mobile Video Format (*.3gp)" << false << 47 << "None";
    QTest::newRow("12 loads as 26") << QVariantList{"/x", 0, 0, 12, 0} << "/x"
                                    << "3GP - Mobile Video Format (*.3gp)" << false << 26 << "None";
    QTest::newRow("negatives are ignored") << QVariantList{"/x", -1, 0, -1, -1} << "/x"
                                           << "3GP - Mobile Video Format (*.3gp)" << false << 27 << "None";
    QTest::newRow("format beyond the list") << QVariantList{"/x", 500, 0, 27, 0} << "/x"
                                            << "3GP - Mobile Video Format (*.3gp)" << false << 27 << "None";
    QTest::newRow("format on a separator") << QVariantList{"/x", 18, 0, 27, 0} << "/x"
                                           << "3GP - Mobile Video Format (*.3gp)" << false << 27 << "None";
    QTest::newRow("format on the modern heading")
        << QVariantList{"/x", 62, 0, 27, 0} << "/x"
        << "3GP - Mobile Video Format (*.3gp)" << false << 27 << "None";
    QTest::newRow("a modern format keeps its row")
        << QVariantList{"/x", 66, 0, 27, 0} << "/x"
        << "MKV - Copy every stream, no re-encoding (*.mkv)" << false << 27 << "None";
  }
  void StoredValuesLoad() {
    QFETCH(QVariantList, Values);
    QFETCH(QString, Folder);
    QFETCH(QString, Format);
    QFETCH(bool, Overwrite);
    QFETCH(int, DropDown);
    QFETCH(QString, LetterBox);
    WriteStoredSettings({{"Output Folder", Values[0]},
                         {"ComboOutputFormat", Values[1]},
                         {"Overwrite", Values[2]},
                         {"DropDownItems", Values[3]},
                         {"LetterBox", Values[4]}});
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    QCOMPARE(Form.EditOutputFolder->text(), Folder);
    QCOMPARE(Form.ComboOutputFormat->currentText(), Format);
    QCOMPARE(Form.Form4->CheckBoxOverWrite->isChecked(), Overwrite);
    QCOMPARE(Form.Form4->SpinEdit1->Value(), DropDown);
    QCOMPARE(Form.ComboOutputFormat->maxVisibleItems(), DropDown);
    QCOMPARE(Form.ComboLetterBox->currentText(), LetterBox);
  }

  // A missing value ends the load there and writes back all five: the ones
  // loaded before it and the defaults for the rest.
  void MissingOverwriteRewritesAllFive() {
    WriteStoredSettings(
        {{"Output Folder", "/data/out"}, {"ComboOutputFormat", 10}, {"DropDownItems", 40}, {"LetterBox", 1}});
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    QCOMPARE(Form.EditOutputFolder->text(), QString("/data/out"));
    QCOMPARE(Form.ComboOutputFormat->currentIndex(), 10);
    QCOMPARE(Form.Form4->SpinEdit1->Value(), 27);
    QCOMPARE(Form.ComboLetterBox->currentText(), QString("None"));
    QCOMPARE(Describe(Stored()), QString("/data/out | 10 | 0 | 27 | 0"));
  }

  void NotANumberCountsAsMissing() {
    WriteStoredSettings({{"Output Folder", "/x"},
                         {"ComboOutputFormat", "ten"},
                         {"Overwrite", 1},
                         {"DropDownItems", 40},
                         {"LetterBox", 1}});
    TWindowUnderTest Window;
    QCOMPARE(Describe(Stored()), QString("/x | 0 | 0 | 27 | 0"));
  }

  // Closing the window saves; File > Exit does not.
  void ClosingSavesAndExitDoesNot() {
    {
      TWindowUnderTest Window;
      TForm1 &Form = Window.Form();
      Form.EditOutputFolder->setText("/saved/on/close");
      Form.ComboOutputFormat->setCurrentIndex(12);
      Form.Form4->CheckBoxOverWrite->setChecked(true);
      Form.Form4->SpinEdit1->lineEdit()->selectAll();
      QTest::keyClicks(Form.Form4->SpinEdit1->lineEdit(), "12");
      Form.ComboLetterBox->setCurrentIndex(1);
      QVERIFY(Form.close());
    }
    QCOMPARE(Describe(Stored()), QString("/saved/on/close | 12 | 1 | 12 | 1"));
    {
      TWindowUnderTest Window;
      TForm1 &Form = Window.Form();
      QCOMPARE(Form.Form4->SpinEdit1->Value(), 26);
      Form.EditOutputFolder->setText("/not/saved");
      Form.Exit1->trigger();
    }
    QCOMPARE(Text(Stored().Folder), QString("/saved/on/close"));
  }

  // The choices a person makes for a profile come back with that profile,
  // at once and at the next start; other profiles keep their defaults; a
  // stored choice a profile no longer offers leaves the default.
  void ChoicesAreKeptPerProfile() {
    const QString Mp4 = "MP4 - MPEG4 Video (*.mp4)", Avi = "AVI - Audio Video Interleave (*.avi)";
    const auto Choose = [](TForm1 &Form, const QString &Profile) {
      const int Row = Form.ComboOutputFormat->findText(Profile);
      Form.ComboOutputFormat->setCurrentIndex(Row);
      emit Form.ComboOutputFormat->activated(Row);
    };
    const auto Pick = [](QComboBox *Combo, int Index) {
      Combo->setCurrentIndex(Index);
      emit Combo->activated(Index);
    };
    QStringList Picked, AviDefaults;
    {
      TWindowUnderTest Window;
      TForm1 &Form = Window.Form();
      Choose(Form, Avi);
      AviDefaults = {Form.ComboVideoBitrate->currentText(), Form.ComboSamplingRate->currentText()};
      Choose(Form, Mp4);
      Pick(Form.ComboVideoBitrate, Form.ComboVideoBitrate->count() - 1);
      Pick(Form.ComboSamplingRate, Form.ComboSamplingRate->count() - 1);
      Form.TrackBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
      Picked = {Form.ComboVideoBitrate->currentText(), Form.ComboSamplingRate->currentText()};
      Form.Form4->SpinEditFilesAtOnce->setValue(Form.Form4->SpinEditFilesAtOnce->maximum());
      QVERIFY(Form.Form4->CheckBoxKeepFileDate->isChecked());  // on where nothing is stored
      QVERIFY(StoredKeepFileDate());
      Form.Form4->CheckBoxKeepFileDate->click();
      QVERIFY(!StoredKeepFileDate());
      Choose(Form, Avi);
      QCOMPARE(QStringList({Form.ComboVideoBitrate->currentText(), Form.ComboSamplingRate->currentText()}),
               AviDefaults);
      Choose(Form, Mp4);
      QCOMPARE(QStringList({Form.ComboVideoBitrate->currentText(), Form.ComboSamplingRate->currentText()}),
               Picked);
      Form.Exit1->trigger();  // kept as they are made, not at the close
    }
    StoreProfileChoice(Avi, "ComboVideoBitrate", "no such rate");
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    QCOMPARE(Form.Form4->SpinEditFilesAtOnce->value(), Form.Form4->SpinEditFilesAtOnce->maximum());
    QVERIFY(!Form.Form4->CheckBoxKeepFileDate->isChecked());
    Choose(Form, Mp4);
    QCOMPARE(QStringList({Form.ComboVideoBitrate->currentText(), Form.ComboSamplingRate->currentText()}),
             Picked);
    QCOMPARE(Form.TrackBar1->value(), 6);
    QCOMPARE(Form.ProfileForm().ComboVideoBitrate.ItemIndex, Form.ComboVideoBitrate->currentIndex());
    Choose(Form, Avi);
    QCOMPARE(QStringList({Form.ComboVideoBitrate->currentText(), Form.ComboSamplingRate->currentText()}),
             AviDefaults);
  }
};

KORVANE_WINDOW_TEST(SettingsStoreTest);

#include "SettingsStoreTest.moc"
