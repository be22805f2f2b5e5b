// The five stored choices: what the first start writes, how stored values
// load, what a missing value does to the rest, and when they are saved.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "AdditionalOptions.h"
#include "DropDownCombo.h"
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
};

KORVANE_WINDOW_TEST(SettingsStoreTest);

#include "SettingsStoreTest.moc"
