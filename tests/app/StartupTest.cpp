// SPDX-License-Identifier: GPL-3.0-or-later
// The window as it comes up: its caption, lists and defaults, its size, the
// names screen readers read, texts that fit at 96 and 144 DPI and at larger
// fonts, and the start without the media libraries.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <cmath>

#include "AboutBox.h"
#include "AdditionalOptions.h"
#include "DropDownCombo.h"
#include "FileListView.h"
#include "TestEnvironment.h"
#include "WindowFixture.h"

using namespace korvane;
using namespace korvane::test;

namespace {

QStringList Items(const QComboBox *Combo) {
  QStringList Texts;
  for (int I = 0; I < Combo->count(); ++I) Texts << Combo->itemText(I);
  return Texts;
}

QString AccessibleName(QObject *Object) {
  QAccessibleInterface *Interface = QAccessible::queryAccessibleInterface(Object);
  return Interface ? Interface->text(QAccessible::Name) : QString();
}

// The text of the label a control is labelled by, trimmed.
QString LabelledBy(QObject *Control) {
  QAccessibleInterface *Interface = QAccessible::queryAccessibleInterface(Control);
  if (!Interface) return {};
  for (const auto &[Other, Relation] : Interface->relations(QAccessible::Label))
    return Other->text(QAccessible::Name).trimmed();
  return {};
}

// Widgets whose text is cut: a label, button, check box or group title
// narrower or lower than its text needs; a column of a list narrower than
// its header or, but for the file names (whose whole path is their hint),
// one of its cells.
QStringList ClippedTexts(QWidget &Window) {
  QStringList Clipped;
  for (TFileListView *List : Window.findChildren<TFileListView *>()) {
    // The caption and every sub-item shown: all but the extra one.
    for (int Column = 0; Column < SubItemCount; ++Column) {
      const int Width = List->columnWidth(Column);
      if (Width < List->header()->sectionSizeHint(Column))
        Clipped << QString("header \"%1\" %2 < %3")
                       .arg(List->headerItem()->text(Column))
                       .arg(Width)
                       .arg(List->header()->sectionSizeHint(Column));
      for (int Row = 0; Column > 0 && Row < List->RowCount(); ++Row) {
        const QModelIndex Cell = List->model()->index(Row, Column);
        if (Width < List->sizeHintForIndex(Cell).width())
          Clipped << QString("cell \"%1\" %2 < %3")
                         .arg(Cell.data().toString())
                         .arg(Width)
                         .arg(List->sizeHintForIndex(Cell).width());
      }
    }
  }
  for (QWidget *Widget : Window.findChildren<QWidget *>()) {
    if (!Widget->isVisible()) continue;
    QString Text;
    if (auto *Label = qobject_cast<QLabel *>(Widget))
      Text = Label->text();
    else if (auto *Button = qobject_cast<QAbstractButton *>(Widget))
      Text = Button->text();
    else if (auto *Group = qobject_cast<QGroupBox *>(Widget))
      Text = Group->title();
    else if (auto *Combo = qobject_cast<QComboBox *>(Widget))
      Text = Combo->currentText();
    else
      continue;
    if (Text.isEmpty()) continue;
    // A drop-down list sized to its contents needs the width of its widest
    // item, the others their minimum.
    const QSize Needed = qobject_cast<QComboBox *>(Widget) ? Widget->sizeHint() : Widget->minimumSizeHint();
    if (Widget->width() < Needed.width() || Widget->height() < Needed.height())
      Clipped << QString("%1 \"%2\" %3x%4 < %5x%6")
                     .arg(Widget->objectName(), Text)
                     .arg(Widget->width())
                     .arg(Widget->height())
                     .arg(Needed.width())
                     .arg(Needed.height());
  }
  return Clipped;
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT
 private slots:
  void StartsWithTheDefaults() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    QCOMPARE(Form.windowTitle(), QString("Korvane Video Converter"));
    QCOMPARE(Form.ComboOutputFormat->count(), 71);
    QCOMPARE(Form.ComboOutputFormat->currentIndex(), 0);
    QCOMPARE(Form.ComboOutputFormat->currentText(), QString("3GP - Mobile Video Format (*.3gp)"));
    // The modern formats come under a heading of their own, one that cannot
    // be chosen; every row keeps its number.
    QCOMPARE(Form.ComboOutputFormat->itemText(62), QString("Formats for today's players"));
    QVERIFY(!(Form.ComboOutputFormat->model()->index(62, 0).flags() & Qt::ItemIsEnabled));
    QCOMPARE(Form.ComboOutputFormat->itemText(63), QString("MP4 - H.264 Video, AAC Audio (*.mp4)"));
    QCOMPARE(Form.ComboOutputFormat->itemText(54).trimmed(), QString(41, '-'));
    QCOMPARE(Form.OutputExtension(), QString("3GP"));
    QCOMPARE(Form.LabelVolume->text(), QString("100%"));
    QCOMPARE(Form.TrackBar1->value(), 5);
    QCOMPARE(Form.VolumeValue(), 256);
    QCOMPARE(Items(Form.ComboAspectRatio), QStringList({"Original", "4:3 (Standard", "16:9 (Wide Screen)"}));
    QCOMPARE(Items(Form.ComboLetterBox), QStringList({"None", "LetterBox"}));
    QCOMPARE(Form.ComboLetterBox->currentText(), QString("None"));
    QCOMPARE(Form.StatusPanel[0]->text(), QString("Ready"));
    QVERIFY(Form.StatusPanel[1]->text().isEmpty());
    QCOMPARE(Form.ListView1->RowCount(), 0);
    QVERIFY(!Form.TimerConvertAgain->isActive());
    QVERIFY(!Form.EditOutputFolder->isEnabled());
    // The profile of row 0 is applied when the window is first shown.
    QCOMPARE(Form.ComboVideoCodec->currentText(), QString("MPEG4"));
    QCOMPARE(Form.ComboAudioCodec->currentText(), QString("amr_nb"));
    QCOMPARE(Form.ComboAudioChannels->currentText(), QString("Mono"));
  }

  // The window starts at its classic size, cannot be made smaller, and
  // grows: the list (its file-name column) takes the room it gains.
  void StartsAtItsClassicSizeAndGrows() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    QCOMPARE(Form.centralWidget()->width(), 767);
    QCOMPARE(Form.centralWidget()->height() + Form.statusBar()->height(), 515);
    QCOMPARE(Form.minimumSize(), Form.size());
    QVERIFY(Form.maximumWidth() > 2000 && Form.maximumHeight() > 2000);
    const QSize List = Form.ListView1->size();
    const int NameColumn = Form.ListView1->columnWidth(0);
    Form.resize(Form.width() + 300, Form.height() + 200);
    QApplication::processEvents();
    QCOMPARE(Form.ListView1->width(), List.width() + 300);
    QCOMPARE(Form.ListView1->height(), List.height() + 200);
    QCOMPARE(Form.ListView1->columnWidth(0), NameColumn + 300);
    Form.resize(300, 200);
    QApplication::processEvents();
    QCOMPARE(Form.size(), Form.minimumSize());
  }

  void MenusAndPopupHoldTheirEntries() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    auto Entries = [](QMenu *Menu) {
      QStringList Texts;
      // The texts as shown, without the mnemonics' markers.
      for (QAction *Action : Menu->actions())
        Texts << (Action->isSeparator() ? "-" : Action->text().remove('&'));
      return Texts;
    };
    QCOMPARE(Entries(Form.MenuFile),
             QStringList({"Add Files", "Add Folder...", "-", "Convert", "-", "Exit"}));
    QCOMPARE(Entries(Form.MenuOptions), QStringList({"Set Additional Options"}));
    QCOMPARE(Entries(Form.MenuHelp),
             QStringList({"Open Help File", "-", "Visit Korvane Website", "-", "About"}));
    QCOMPARE(Entries(Form.PopupListView1),
             QStringList({"Check All Items", "Uncheck All Items", "-", "Remove Selected Item",
                          "Clear All Items", "-", "Show Log", "Open Output Folder", "-", "Tracks...",
                          "Set Time Range...", "Preview..."}));
    // A key picks one entry of a menu: no two share their underlined letter.
    for (QWidget *Menu : std::initializer_list<QWidget *>{Form.menuBar(), Form.MenuFile, Form.MenuOptions,
                                                          Form.MenuHelp, Form.PopupListView1}) {
      QStringList Keys;
      for (QAction *Action : Menu->actions()) {
        const int At = Action->text().indexOf('&');
        if (At >= 0 && At + 1 < Action->text().size()) Keys << Action->text().mid(At + 1, 1).toLower();
      }
      QCOMPARE(Keys.size(), QSet<QString>(Keys.begin(), Keys.end()).size());
    }
    QStringList Columns;
    for (int I = 0; I < SubItemCount; ++I) Columns << Form.ListView1->headerItem()->text(I);
    QCOMPARE(Columns, QStringList({"Video File Name", "Video Size", "FrameRate", "Duration", "Output",
                                   "Progress", "Frames", "Estimated Size"}));
  }

  // Every control a person can reach carries the name its caption or label
  // gives it.
  void EveryControlHasItsAccessibleName() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    const std::pair<QWidget *, QString> Expected[] = {
        {Form.ButtonAddFile, "Add Files"},
        {Form.ButtonAddFolder, "Add Folder"},
        {Form.ButtonRemove, "Remove"},
        {Form.ButtonClear, "Clear All"},
        {Form.ButtonTracks, "Tracks"},
        {Form.ButtonPreview, "Preview"},
        {Form.ButtonStopConvert, "Stop Convert"},
        {Form.ButtonConvert, "Convert Now !"},
        {Form.ListView1, "Video File Name"},
        {Form.ComboOutputFormat, "Output Format :"},
        {Form.EditOutputFolder, "Output Folder :"},
        {Form.ButtonBrowseForFolder, "Browse For Folder"},
        {Form.ComboVideoCodec, "Video Codec :"},
        {Form.ComboVideoSize, "Video Size :"},
        {Form.ComboVideoBitrate, "Video Bitrate :"},
        {Form.ComboVideoFramerate, "Video Framerate :"},
        {Form.ComboAudioCodec, "Audio Codec :"},
        {Form.ComboAudioBitrate, "Audio Bitrate :"},
        {Form.ComboAudioChannels, "Audio Channels :"},
        {Form.ComboSamplingRate, "Sampling Rate :"},
        {Form.ComboLetterBox, "Video Zoom :"},
        {Form.ComboAspectRatio, "Aspect Ratio :"},
        {Form.TrackBar1, "Volume :"},
        {Form.ButtonStopSmall, "Stop"},
        {Form.ProgressBar1, "Progress"},
    };
    for (const auto &[Control, Name] : Expected) {
      QCOMPARE(Control->accessibleName(), Name);
      // On Linux a drop-down list reads its current item as its name and
      // names its label through a relation, as AT-SPI expects.
      if (qobject_cast<QComboBox *>(Control))
        QCOMPARE(LabelledBy(Control), Name);
      else
        QCOMPARE(AccessibleName(Control), Name);
    }
    // Every other enabled widget a person can focus has a name too.
    for (QWidget *Widget : Form.findChildren<QWidget *>())
      if (Widget->isVisible() && Widget->focusPolicy() != Qt::NoFocus && !qobject_cast<QMenuBar *>(Widget))
        QVERIFY2(!AccessibleName(Widget).isEmpty(), qPrintable(Widget->objectName()));
  }

  // The list's rows and their check boxes reach screen readers as table
  // cells with a checkable state.
  void ListRowsAndCheckBoxesAreAccessible() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    Form.ListView1->AddRow("/clips/a.avi", {"640x480", "25", "00:00:10", "3GP"});
    Form.ListView1->AddRow("/clips/b.avi", {"320x240", "29.97", "00:00:02", "3GP"});
    Form.ListView1->SetChecked(1, false);
    QApplication::processEvents();
    Form.ListView1->doItemsLayout();
    QAccessibleInterface *List = QAccessible::queryAccessibleInterface(Form.ListView1);
    QVERIFY(List);
    QAccessibleTableInterface *Table = List->tableInterface();
    QVERIFY(Table);
    QCOMPARE(Table->rowCount(), 2);
    QAccessibleInterface *First = Table->cellAt(0, 0);
    QAccessibleInterface *Second = Table->cellAt(1, 0);
    QVERIFY(First && Second);
    QCOMPARE(First->text(QAccessible::Name), QString("/clips/a.avi"));
    QVERIFY(First->state().checkable);
    QVERIFY(First->state().checked);
    QVERIFY(!Second->state().checked);
    QCOMPARE(Table->cellAt(1, 2)->text(QAccessible::Name), QString("29.97"));
    // An estimate being made is said in words; one that cannot be made
    // says why.
    Form.ListView1->SetEstimate(0, {"key", -1, true, "", -1});
    Form.ListView1->SetEstimate(1, {"key", -1, false, "its length is not known", -1});
    QCOMPARE(Table->cellAt(0, 1 + siEstimate)->text(QAccessible::Name), QString("Estimating"));
    QCOMPARE(Table->cellAt(1, 1 + siEstimate)->text(QAccessible::Name), QString("Unknown"));
    QCOMPARE(Table->cellAt(1, 1 + siEstimate)->text(QAccessible::Description),
             QString("No estimate: its length is not known"));
  }

  // Each outcome a row ends with reads in a colour of its own, "Partial"
  // apart from the others, readable on a light list and on a dark one.
  void OutcomesReadInColoursOfTheirOwn() {
    TWindowUnderTest Window;
    TFileListView &List = *Window.Form().ListView1;
    const QStringList Words = {"Done", "Partial", "Fail", "Error", "Abort", "42%"};
    for (const QString &Word : Words) List.AddRow("/clips/" + Word, {"", "", "", "", Word});
    const auto Luminance = [](const QColor &C) {
      const auto Channel = [](double V) {
        return V <= 0.03928 ? V / 12.92 : std::pow((V + 0.055) / 1.055, 2.4);
      };
      return 0.2126 * Channel(C.redF()) + 0.7152 * Channel(C.greenF()) + 0.0722 * Channel(C.blueF());
    };
    for (const char *Base : {"#ffffff", "#2b2b2b"}) {
      QPalette Palette = List.palette();
      Palette.setColor(QPalette::Base, QColor(Base));
      Palette.setColor(QPalette::Text, QColor(Base).lightnessF() < 0.5 ? Qt::white : Qt::black);
      List.setPalette(Palette);
      QMap<QString, QColor> Shown;
      for (int Row = 0; Row < List.RowCount(); ++Row) {
        const QVariant Brush = List.model()->index(Row, 1 + siProgress).data(Qt::ForegroundRole);
        Shown[Words[Row]] = Brush.isValid() ? Brush.value<QBrush>().color() : Palette.color(QPalette::Text);
        const double A = Luminance(Shown[Words[Row]]), B = Luminance(QColor(Base));
        const double Contrast = (std::max(A, B) + 0.05) / (std::min(A, B) + 0.05);
        QVERIFY2(Contrast >= 4.5, qPrintable(Words[Row] + " on " + Base));
      }
      for (const QString Other : {"Done", "Fail", "Error", "Abort", "42%"})
        QVERIFY2(Shown["Partial"] != Shown[Other], qPrintable("Partial looks like " + Other + " on " + Base));
      QVERIFY(Shown["Fail"] != Shown["Done"]);
      QCOMPARE(Shown["42%"], Palette.color(QPalette::Text));
    }
  }

  // No caption, label, selected item or column of the list is cut, at the
  // desktop's font and at fonts 1.25 and 1.5 times as large, in the main
  // window and in Additional Options: the window grows as they need and the
  // columns take the width of their header and content. The test program
  // runs this once as it is (96 DPI), once with the screen scaled by 1.5,
  // which is how Qt shows a window on a 144 DPI desktop, and once with the
  // 14 pt font a GTK desktop gives through the platform theme.
  void NoTextIsClipped_data() {
    QTest::addColumn<double>("FontScale");
    QTest::newRow("desktop font") << 1.0;
    QTest::newRow("font x1.25") << 1.25;
    QTest::newRow("font x1.5") << 1.5;
  }
  void NoTextIsClipped() {
    QFETCH(double, FontScale);
    const QFont Desktop = QApplication::font();
    if (const QByteArray GtkFont = qgetenv("KORVANE_TEST_GTK_FONT"); !GtkFont.isEmpty()) {
      // The desktop's font must have come through the theme, or this
      // would check the plain default again.
      if (Desktop.pointSizeF() != GtkFont.split(' ').last().toDouble())
        QSKIP("the GTK platform theme did not load (qt6-gtk-platformtheme)");
    }
    QFont Larger = Desktop;
    Larger.setPointSizeF(Desktop.pointSizeF() * FontScale);
    QApplication::setFont(Larger);
    struct TRestore {
      QFont Font;
      ~TRestore() { QApplication::setFont(Font); }
    } Restore{Desktop};
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    Form.ListView1->AddRow("/clips/holiday.avi",
                           {"1920x1080", "29.97", "01:02:05", "MKV", "Partial", "123456"});
    Form.ListView1->AddRow("/clips/song.mp3", {" ", " ", "Unknown", "MKV", "100%", " "});
    Form.ListView1->SetEstimate(0, {"key", 123.4 * 1024 * 1024, false, "", 6 * 1024 * 1024 * 1024LL});
    Form.ListView1->SetEstimate(1, {"key", 5.9 * 1024 * 1024, false, "", -1});
    for (const char *Profile :
         {"MP4 - MPEG4 Video (*.mp4)", "DVD - VOB (*.vob)", "iPod (*.mp4)",
          "AVI - Audio Video Interleave (*.avi)", "3GP - Mobile Video Format (*.3gp)",
          "MKV - Matroska Video, every track (*.mkv)", "MKV - Copy every stream, no re-encoding (*.mkv)",
          "FLAC - Free Lossless Audio (*.flac)"}) {
      const int Row = Form.ComboOutputFormat->findText(Profile);
      Form.ComboOutputFormat->setCurrentIndex(Row);
      emit Form.ComboOutputFormat->activated(Row);
      QApplication::processEvents();
      Form.centralWidget()->layout()->activate();
      const QStringList Clipped = ClippedTexts(Form);
      QVERIFY2(Clipped.isEmpty(), qPrintable(Clipped.join("; ")));
    }
    for (QDialog *Dialog : std::initializer_list<QDialog *>{Form.Form4, Form.FormAbout}) {
      Dialog->show();
      QVERIFY(QTest::qWaitForWindowExposed(Dialog));
      const QStringList Clipped = ClippedTexts(*Dialog);
      Dialog->hide();
      QVERIFY2(Clipped.isEmpty(), qPrintable(Dialog->objectName() + ": " + Clipped.join("; ")));
    }
  }

  // Without its "Common Files" folder the program says so and ends with a
  // failure status, converting nothing.
  void WithoutTheLibrariesTheProgramEnds() {
    QTemporaryDir Copy;
    const QString Program = Copy.filePath("korvane");
    QVERIFY(QFile::copy(QString::fromStdString(ExecutableDirectory()) + "/korvane", Program));
    QProcess Run;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert("QT_QPA_PLATFORM", "offscreen");
    Environment.insert("KORVANE_MESSAGE_TRANSCRIPT", Copy.filePath("messages.txt"));
    Environment.insert("XDG_CONFIG_HOME", Copy.filePath("config"));
    Run.setProcessEnvironment(Environment);
    Run.start(Program, {});
    QVERIFY(Run.waitForFinished(30000));
    QCOMPARE(Run.exitStatus(), QProcess::NormalExit);
    QVERIFY(Run.exitCode() != 0);
    QFile Transcript(Copy.filePath("messages.txt"));
    QVERIFY(Transcript.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(Transcript.readAll()),
             QString("Information\tinformation\tSome files are missing. Please re-install this software\n"));
    // It never got as far as loading the settings.
    QVERIFY(!QFile::exists(Copy.filePath("config/Korvane/Korvane Video Converter.conf")));
  }

  // With no display to show the window on, the program says so in one line
  // and fails, rather than crash or fall back to something else.
  void WithoutADisplayItSaysSoAndFails() {
    QProcess Run;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    for (const char *Name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) Environment.remove(Name);
    Run.setProcessEnvironment(Environment);
    Run.start(QString::fromStdString(ExecutableDirectory()) + "/korvane", {});
    QVERIFY(Run.waitForFinished(30000));
    QCOMPARE(Run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(Run.exitCode(), 1);
    const QString Said = QString::fromUtf8(Run.readAllStandardError());
    QCOMPARE(Said.count('\n'), 1);
    QVERIFY(Said.contains("no display"));
  }
};

KORVANE_WINDOW_TEST(StartupTest);

#include "StartupTest.moc"
