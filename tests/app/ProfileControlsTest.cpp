// SPDX-License-Identifier: GPL-3.0-or-later
// The output-format list, the option combos, the volume bar, the list
// commands and the rules that lock the window around a run.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <tuple>

#include "AdditionalOptions.h"
#include "DropDownCombo.h"
#include "FileListView.h"
#include "SpinEdit.h"
#include "WindowFixture.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// Picks a row of the output-format list as a person does with the keyboard:
// focus on the list and arrow keys to the row.
void ChooseFormatRow(TForm1 &Form, int Row) {
  Form.ComboOutputFormat->setFocus();
  while (Form.ComboOutputFormat->currentIndex() < Row) {
    const int Before = Form.ComboOutputFormat->currentIndex();
    QTest::keyClick(Form.ComboOutputFormat, Qt::Key_Down);
    if (Form.ComboOutputFormat->currentIndex() <= Before) break;  // snapped back from a separator
  }
  while (Form.ComboOutputFormat->currentIndex() > Row) QTest::keyClick(Form.ComboOutputFormat, Qt::Key_Up);
}

struct TComboState {
  QStringList Items;
  int Index;
  bool operator==(const TComboState &) const = default;
};

std::vector<TComboState> OptionCombos(TForm1 &Form) {
  std::vector<TComboState> States;
  for (QComboBox *Combo : {Form.ComboVideoCodec, Form.ComboVideoSize, Form.ComboVideoBitrate,
                           Form.ComboVideoFramerate, Form.ComboAudioCodec, Form.ComboAudioBitrate,
                           Form.ComboAudioChannels, Form.ComboSamplingRate, Form.ComboAspectRatio}) {
    TComboState State{{}, Combo->currentIndex()};
    for (int I = 0; I < Combo->count(); ++I) State.Items << Combo->itemText(I);
    States.push_back(State);
  }
  return States;
}

}  // namespace

class ProfileControlsTest : public QObject {
  Q_OBJECT
 private slots:
  void VolumeBarFollowsItsTable() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    const std::pair<const char *, int> Table[] = {
        {"0%", 1},     {"20%", 50},   {"40%", 100},  {"60%", 150},  {"80%", 200},  {"100%", 256},
        {"120%", 300}, {"140%", 350}, {"160%", 400}, {"180%", 450}, {"200%", 600},
    };
    Form.TrackBar1->setFocus();
    QTest::keyClick(Form.TrackBar1, Qt::Key_Home);
    for (int Position = 0; Position <= 10; ++Position) {
      QCOMPARE(Form.TrackBar1->value(), Position);
      QCOMPARE(Form.LabelVolume->text(), QString(Table[Position].first));
      QCOMPARE(Form.VolumeValue(), Table[Position].second);
      QTest::keyClick(Form.TrackBar1, Qt::Key_Right);
    }
  }

  // A separator row cannot be chosen: the list goes back to the last
  // profile and nothing else changes.
  void SeparatorSnapsBackAndChangesNothing() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    Form.ListView1->AddRow("/clips/a.avi", {"640x480", "25", "00:00:10", Form.OutputExtension()});
    ChooseFormatRow(Form, 17);  // "WMV - Windows Media Video (*.wmv)", the last before a separator
    QCOMPARE(Form.ComboOutputFormat->currentText(), QString("WMV - Windows Media Video (*.wmv)"));
    const auto Before = OptionCombos(Form);
    QCOMPARE(Form.ListView1->SubItem(0, siOutput), QString("WMV"));
    QTest::keyClick(Form.ComboOutputFormat, Qt::Key_Down);  // onto the separator row
    QCOMPARE(Form.ComboOutputFormat->currentIndex(), 17);
    QVERIFY(OptionCombos(Form) == Before);
    QCOMPARE(Form.OutputExtension(), QString("WMV"));
    QCOMPARE(Form.ListView1->SubItem(0, siOutput), QString("WMV"));
    // The arrow keys pass over the modern formats' heading.
    ChooseFormat(Form, "iRiver PMP100 (*.avi)");
    QCOMPARE(Form.ComboOutputFormat->currentIndex(), 61);
    Form.ComboOutputFormat->setFocus();
    QTest::keyClick(Form.ComboOutputFormat, Qt::Key_Down);
    QCOMPARE(Form.ComboOutputFormat->currentText(), QString("MP4 - H.264 Video, AAC Audio (*.mp4)"));
    QCOMPARE(Form.OutputExtension(), QString("MP4"));
  }

  // Every change of the output format shows the profile's choices and the
  // new extension in every row, converted rows included. The copy greys
  // what it cannot carry out, with a hint, and shows what it keeps; the
  // values chosen for the other profiles come back with them.
  void FormatChangeRefillsCombosAndRewritesOutput() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    Form.ListView1->AddRow("/clips/a.avi", {"640x480", "25", "00:00:10", "3GP"});
    Form.ListView1->AddRow("/clips/b.avi", {"320x240", "25", "00:00:02", "3GP", "Done", "50"});
    ChooseFormat(Form, "MP4 - MPEG4 Video (*.mp4)");
    Form.TrackBar1->setValue(7);  // 140%, kept for MP4
    Form.ComboLetterBox->setCurrentIndex(1);
    struct TCase {
      const char *Format, *Extension, *VideoCodec, *AudioCodec, *SamplingRate;
      int VideoItems;
      bool Copies = false;  // volume, channels, zoom and aspect greyed
      const char *Volume = "140%", *Channels = "Stereo";
    };
    const TCase Cases[] = {
        {"MP4 - MPEG4 Video (*.mp4)", "MP4", "MPEG4", "mpeg4aac", "44100 Hz", 3},
        {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", "", "mp3", "48000 Hz", 0},
        {"MKV - Copy every stream, no re-encoding (*.mkv)", "MKV", "Copy", "Copy", "", 1, true, "100%",
         "Original"},
        {"DVD - VOB (*.vob)", "VOB", "MPEG2VIDEO", "ac3", "48000 Hz", 1},
        {"MP4 - MPEG4 Video (*.mp4)", "MP4", "MPEG4", "mpeg4aac", "44100 Hz", 3},
        {"PSP Video (*.mp4)", "MP4", "MPEG4", "mpeg4aac", "24000 Hz", 3},
    };
    for (const TCase &Case : Cases) {
      ChooseFormat(Form, Case.Format);
      QCOMPARE(Form.OutputExtension(), QString(Case.Extension));
      for (int Row = 0; Row < 2; ++Row)
        QCOMPARE(Form.ListView1->SubItem(Row, siOutput), QString(Case.Extension));
      QCOMPARE(Form.ComboVideoCodec->count(), Case.VideoItems);
      // A sound format's picture choices stay in place, greyed.
      for (QComboBox *Video :
           {Form.ComboVideoCodec, Form.ComboVideoSize, Form.ComboVideoBitrate, Form.ComboVideoFramerate}) {
        QVERIFY(Video->isVisible());
        QCOMPARE(Video->isEnabled(), Video->count() > 0);
      }
      QCOMPARE(Form.ComboVideoCodec->currentText(), QString(Case.VideoCodec));
      QCOMPARE(Form.ComboAudioCodec->currentText(), QString(Case.AudioCodec));
      QCOMPARE(Form.ComboSamplingRate->currentText(), QString(Case.SamplingRate));
      QCOMPARE(Form.ProfileForm().ComboVideoCodec.Text(), std::string(Case.VideoCodec));
      for (QWidget *General : {(QWidget *)Form.TrackBar1, (QWidget *)Form.ComboAudioChannels,
                               (QWidget *)Form.ComboLetterBox, (QWidget *)Form.ComboAspectRatio}) {
        QVERIFY2(General->isEnabled() != Case.Copies, qPrintable(General->objectName() + " " + Case.Format));
        QCOMPARE(General->toolTip().contains("copy keeps every stream"), Case.Copies);
      }
      QCOMPARE(Form.LabelVolume->text(), QString(Case.Volume));
      QCOMPARE(Form.ComboAudioChannels->currentText(), QString(Case.Channels));
      QCOMPARE(Form.ComboLetterBox->currentText(), QString("LetterBox"));
      if (Case.Copies) {
        // ... also after a run has locked and unlocked the window.
        Form.DisableWindowForRun();
        Form.EnableWindowAfterRun();
        QVERIFY(!Form.TrackBar1->isEnabled() && !Form.ComboLetterBox->isEnabled());
        QVERIFY(Form.ComboVideoCodec->isEnabled());
      }
    }
    // The "Convert HDR to SDR" box: shown for the profiles whose codecs
    // keep HDR, greyed while the codec chosen cannot (H.264 always gets
    // SDR); it follows the codec and reaches the model.
    const std::tuple<const char *, bool, bool> HdrCases[] = {
        {"MP4 - MPEG4 Video (*.mp4)", false, false},
        {"MP4 - H.264 Video, AAC Audio (*.mp4)", false, false},
        {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)", true, true},
        {"MKV - Matroska Video, every track (*.mkv)", true, false},
    };
    for (const auto &[Format, Shown, Offered] : HdrCases) {
      ChooseFormat(Form, Format);
      QCOMPARE(Form.CheckBoxHdrToSdr->isVisible(), Shown);
      QCOMPARE(Form.CheckBoxHdrToSdr->isEnabled(), Offered);
    }
    Form.ComboVideoCodec->setCurrentIndex(Form.ComboVideoCodec->findText("VP9"));
    QVERIFY(Form.CheckBoxHdrToSdr->isEnabled());
    QTest::mouseClick(Form.CheckBoxHdrToSdr, Qt::LeftButton);
    QVERIFY(Form.ProfileForm().HdrToSdr);
    QCOMPARE(Form.CheckBoxHdrToSdr->accessibleName(), QString("Convert HDR to SDR"));
    Form.DisableWindowForRun();
    QVERIFY(!Form.CheckBoxHdrToSdr->isEnabled());
    Form.EnableWindowAfterRun();
    QVERIFY(Form.CheckBoxHdrToSdr->isEnabled());
    QCOMPARE(Form.ListView1->SubItem(1, siProgress), QString("Done"));
    // ... also after a run has locked and unlocked the window.
    ChooseFormat(Form, "MP3 - Mpeg Layer3 Audio (*.mp3)");
    Form.DisableWindowForRun();
    Form.EnableWindowAfterRun();
    QVERIFY(!Form.ComboVideoSize->isEnabled());
    QVERIFY(Form.ComboAudioBitrate->isEnabled());
    QVERIFY(Form.TrackBar1->isEnabled());
  }

  // A pick in an option combo reaches the model the settings step reads.
  void PicksReachTheProfileModel() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    ChooseFormat(Form, "AVI - Audio Video Interleave (*.avi)");
    Form.ComboVideoSize->setFocus();
    QTest::keyClick(Form.ComboVideoSize, Qt::Key_Down);
    QCOMPARE(Form.ProfileForm().ComboVideoSize.Text(), Form.ComboVideoSize->currentText().toStdString());
    QCOMPARE(Form.ComboVideoSize->currentText(), QString("128 x 96 (SQCIF)"));
    Form.ComboAspectRatio->setCurrentIndex(2);
    QCOMPARE(Form.ProfileForm().ComboAspectRatio.ItemIndex, 2);
  }

  void DropDownLinesFollowTheAdditionalOptions() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    QCOMPARE(Form.ComboOutputFormat->maxVisibleItems(), 27);  // the dialog's value, applied by the first show
    Form.Form4->SpinEdit1->SetValue(40);
    QCOMPARE(Form.ComboOutputFormat->maxVisibleItems(), 40);
    // Typed text is taken as typed, even below the spin range.
    Form.Form4->SpinEdit1->lineEdit()->selectAll();
    QTest::keyClicks(Form.Form4->SpinEdit1->lineEdit(), "12");
    QCOMPARE(Form.Form4->SpinEdit1->Value(), 12);
    QCOMPARE(Form.ComboOutputFormat->maxVisibleItems(), 12);
    Form.ComboOutputFormat->setMaxVisibleItems(5);
    Form.ComboOutputFormat->showPopup();
    QCOMPARE(Form.ComboOutputFormat->maxVisibleItems(), 12);
    // The open list shows that many lines, whatever the style.
    const QAbstractItemView *List = Form.ComboOutputFormat->view();
    QTRY_VERIFY(List->isVisible());
    QCOMPARE(List->viewport()->height() / List->sizeHintForRow(0), 12);
    Form.ComboOutputFormat->hidePopup();
    // It opens on the current item, with the items around it in view.
    for (const int Row : {0, 40, 66, 70}) {
      ChooseFormat(Form, Form.ComboOutputFormat->itemText(Row));
      Form.ComboOutputFormat->showPopup();
      QTRY_VERIFY(List->isVisible());
      const QRect Room = List->viewport()->rect();
      for (const int Near : {Row - 1, Row, Row + 1}) {
        if (Near < 0 || Near >= Form.ComboOutputFormat->count()) continue;
        const QRect Item = List->visualRect(List->model()->index(Near, 0));
        QVERIFY2(Room.contains(Item), qPrintable(QString("row %1 around %2").arg(Near).arg(Row)));
      }
      Form.ComboOutputFormat->hidePopup();
    }
  }

  void ListCommandsCheckRemoveAndClear() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    for (const char *Name : {"/a.avi", "/b.avi", "/c.avi"}) Form.ListView1->AddRow(Name, {});
    Form.UncheckAllItems1->trigger();
    for (int Row = 0; Row < 3; ++Row) QVERIFY(!Form.ListView1->Checked(Row));
    Form.CheckAllItems1->trigger();
    for (int Row = 0; Row < 3; ++Row) QVERIFY(Form.ListView1->Checked(Row));
    // Remove with nothing selected removes nothing.
    Form.ButtonRemove->click();
    QCOMPARE(Form.ListView1->RowCount(), 3);
    Form.ListView1->setCurrentItem(Form.ListView1->topLevelItem(1));
    Form.DeleteSelectedItem1->trigger();
    QCOMPARE(Form.ListView1->RowCount(), 2);
    QCOMPARE(Form.ListView1->Caption(1), QString("/c.avi"));
    // The Delete key removes the selected row where the list has the focus.
    Form.activateWindow();
    Form.ListView1->setFocus();
    Form.ListView1->setCurrentItem(Form.ListView1->topLevelItem(0));
    QTest::keyClick(Form.ListView1, Qt::Key_Delete);
    QCOMPARE(Form.ListView1->RowCount(), 1);
    QCOMPARE(Form.ListView1->Caption(0), QString("/c.avi"));
    Form.ButtonClear->click();
    QCOMPARE(Form.ListView1->RowCount(), 0);
    // Ctrl+Return converts, as the menu does: here it finds no file.
    QTest::keyClick(&Form, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(Window.Messages.Texts(), QStringList({"Please Add Files To Convert!"}));
  }

  // Around a run the settings, list commands and menus are locked; the
  // stop buttons, the folder button and the check boxes are not.
  void RunLocksTheWindowAndUnlocksIt() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    const QList<QWidget *> Locked = {
        Form.ButtonAddFile,     Form.ButtonClear,        Form.ButtonRemove,      Form.ButtonConvert,
        Form.ComboOutputFormat, Form.ComboVideoSize,     Form.ComboVideoBitrate, Form.ComboVideoFramerate,
        Form.ComboAudioBitrate, Form.ComboAudioChannels, Form.ComboVideoCodec,   Form.ComboSamplingRate,
        Form.ComboAudioCodec,   Form.TrackBar1,          Form.ComboAspectRatio,  Form.ComboLetterBox,
    };
    const QList<QWidget *> Free = {Form.ButtonStopConvert, Form.ButtonStopSmall, Form.ButtonBrowseForFolder,
                                   Form.ListView1};
    Form.DisableWindowForRun();
    for (QWidget *Control : Locked) QVERIFY2(!Control->isEnabled(), qPrintable(Control->objectName()));
    for (QWidget *Control : Free) QVERIFY2(Control->isEnabled(), qPrintable(Control->objectName()));
    for (QMenu *Menu : {Form.MenuFile, Form.MenuOptions, Form.MenuHelp})
      QVERIFY(!Menu->menuAction()->isEnabled());
    QCOMPARE(Form.ListView1->contextMenuPolicy(), Qt::NoContextMenu);
    Form.EnableWindowAfterRun();
    for (QWidget *Control : Locked) QVERIFY2(Control->isEnabled(), qPrintable(Control->objectName()));
    for (QMenu *Menu : {Form.MenuFile, Form.MenuOptions, Form.MenuHelp})
      QVERIFY(Menu->menuAction()->isEnabled());
    QCOMPARE(Form.ListView1->contextMenuPolicy(), Qt::CustomContextMenu);
    QVERIFY(!Form.EditOutputFolder->isEnabled());
  }
};

KORVANE_WINDOW_TEST(ProfileControlsTest);

#include "ProfileControlsTest.moc"
