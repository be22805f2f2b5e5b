// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls, menus and their layout. Qt layouts, so the
// texts fit whatever the desktop's font and the list grows with the window.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "AppIcons.h"
#include "BMDThread.h"
#include "DropDownCombo.h"
#include "FileListView.h"
#include "LogWindow.h"
#include "MainWindow.h"
#include "PreviewDialog.h"
#include "TimeRangeDialog.h"
#include "TracksDialog.h"

namespace korvane {

namespace {

// How long a hint stays up.
constexpr int HintHidePause = 30000;

QToolButton *NewSpeedButton(QWidget *Parent, const char *Name, const QString &Caption, const QString &Hint,
                            const QIcon &Glyph, bool Bold) {
  auto *Button = new QToolButton(Parent);
  Button->setObjectName(Name);
  Button->setText(Caption);
  Button->setIcon(Glyph);
  Button->setAutoRaise(true);
  Button->setToolButtonStyle(Caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
  Button->setToolTip(Hint);
  Button->setToolTipDuration(HintHidePause);
  Button->setAccessibleName(Caption.isEmpty() ? Hint : Caption.trimmed());
  if (Bold) {
    QFont Font = Button->font();
    Font.setBold(true);
    Button->setFont(Font);
  }
  return Button;
}

QComboBox *NewCombo(QWidget *Parent, const char *Name) {
  auto *Combo = new QComboBox(Parent);
  Combo->setObjectName(Name);
  Combo->setEditable(false);
  Combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return Combo;
}

// A label for Control whose text also names the control for screen readers.
QLabel *NewLabel(QWidget *Parent, const QString &Caption, QWidget *Control, bool Bold = false) {
  auto *Label = new QLabel(Caption, Parent);
  Label->setBuddy(Control);
  Control->setAccessibleName(Caption.trimmed());
  if (Bold) {
    QFont Font = Label->font();
    Font.setBold(true);
    Label->setFont(Font);
  }
  return Label;
}

QFormLayout *NewFormLayout(QWidget *Group) {
  auto *Form = new QFormLayout(Group);
  Form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  Form->setRowWrapPolicy(QFormLayout::DontWrapRows);
  Form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Form->setContentsMargins(4, 2, 4, 2);
  Form->setHorizontalSpacing(4);
  Form->setVerticalSpacing(3);
  return Form;
}

// One labelled drop-down list of a settings group.
struct TComboRow {
  QComboBox **Combo;
  const char *Name;
  const char *Caption;
};

// A settings group of labelled drop-down lists, one row each.
QGroupBox *NewComboGroup(QWidget *Parent, const char *Name, const QString &Title,
                         std::initializer_list<TComboRow> Rows) {
  auto *Group = new QGroupBox(Title, Parent);
  Group->setObjectName(Name);
  auto *Form = NewFormLayout(Group);
  for (const TComboRow &Row : Rows) {
    *Row.Combo = NewCombo(Group, Row.Name);
    Form->addRow(NewLabel(Group, Row.Caption, *Row.Combo), *Row.Combo);
  }
  return Group;
}

}  // namespace

void TForm1::CreateControls() {
  auto *Client = new QWidget(this);
  setCentralWidget(Client);
  QLayout *Toolbar = CreateToolbar(Client);
  CreateFileList(Client);
  QLayout *Target = CreateTargetRows(Client);
  QLayout *Groups = CreateSettingsGroups(Client);
  QLayout *ProgressRow = CreateProgressRow(Client);
  auto *Layout = new QVBoxLayout(Client);
  Layout->setContentsMargins(4, 4, 4, 2);
  Layout->setSpacing(4);
  Layout->addLayout(Toolbar);
  Layout->addWidget(ListView1, 1);
  Layout->addLayout(Target);
  Layout->addLayout(Groups);
  Layout->addLayout(ProgressRow);

  CreateStatusBar();
  CreateDialogsAndTimers();
}

// The buttons above the list.
QLayout *TForm1::CreateToolbar(QWidget *Client) {
  ButtonAddFile = NewSpeedButton(Client, "ButtonAddFile", "Add Files", "Add Files to Convert",
                                 ThemeIcon("list-add", QStyle::SP_FileDialogNewFolder), true);
  ButtonAddFolder = NewSpeedButton(Client, "ButtonAddFolder", "Add Folder",
                                   "Add the Media Files of a Folder and its Sub-folders",
                                   ThemeIcon("folder-new", QStyle::SP_DirIcon), true);
  ButtonRemove = NewSpeedButton(Client, "ButtonRemove", "Remove", "Remove A Single File From List",
                                ThemeIcon("list-remove", QStyle::SP_DialogDiscardButton), true);
  ButtonClear = NewSpeedButton(Client, "ButtonClear", "Clear All ", "Clear All Files Listed",
                               ThemeIcon("edit-clear", QStyle::SP_TrashIcon), true);
  ButtonStopConvert = NewSpeedButton(Client, "ButtonStopConvert", "Stop Convert", "Stop Conversion",
                                     ThemeIcon("process-stop", QStyle::SP_MediaStop), true);
  ButtonConvert = NewSpeedButton(Client, "ButtonConvert", "Convert Now !", "Start Conversion",
                                 ThemeIcon("media-playback-start", QStyle::SP_MediaPlay), true);
  ButtonTracks = NewSpeedButton(Client, "ButtonTracks", "Tracks",
                                "Choose the Audio and Subtitle Tracks of the Selected File",
                                ThemeIcon("audio-x-generic", QStyle::SP_FileDialogDetailedView), true);
  ButtonPreview = NewSpeedButton(Client, "ButtonPreview", "Preview",
                                 "Show the Selected File's Picture as the Output Will Look",
                                 ThemeIcon("image-x-generic", QStyle::SP_FileDialogContentsView), true);
  for (QToolButton *Button : {ButtonAddFile, ButtonAddFolder, ButtonRemove, ButtonClear, ButtonTracks,
                              ButtonPreview, ButtonStopConvert, ButtonConvert})
    Button->setIconSize(QSize(24, 24));
  auto *Toolbar = new QHBoxLayout;
  Toolbar->setSpacing(2);
  for (QToolButton *Button : {ButtonAddFile, ButtonAddFolder, ButtonRemove, ButtonClear})
    Toolbar->addWidget(Button);
  // The commands on the selected row, apart from those on the list.
  Toolbar->addSpacing(12);
  for (QToolButton *Button : {ButtonTracks, ButtonPreview}) Toolbar->addWidget(Button);
  Toolbar->addStretch(1);
  Toolbar->addWidget(ButtonStopConvert);
  Toolbar->addWidget(ButtonConvert);
  return Toolbar;
}

void TForm1::CreateFileList(QWidget *Client) {
  ListView1 = new TFileListView(Client);
  ListView1->setObjectName("ListView1");
  ListView1->setAccessibleName("Video File Name");
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
}

// The output format and folder.
QLayout *TForm1::CreateTargetRows(QWidget *Client) {
  ComboOutputFormat = new TDropDownCombo(Client);
  ComboOutputFormat->setObjectName("ComboOutputFormat");
  ComboOutputFormat->setMinimumWidth(330);
  ComboOutputFormat->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  Label2 = NewLabel(Client, "Output Format : ", ComboOutputFormat, true);
  EditOutputFolder = new QLineEdit(Client);
  EditOutputFolder->setObjectName("EditOutputFolder");
  EditOutputFolder->setReadOnly(true);
  EditOutputFolder->setEnabled(false);
  Label1 = NewLabel(Client, "Output Folder : ", EditOutputFolder, true);
  ButtonBrowseForFolder = NewSpeedButton(Client, "ButtonBrowseForFolder", "", "Browse For Folder",
                                         ThemeIcon("folder-open", QStyle::SP_DirOpenIcon), false);
  auto *Target = new QGridLayout;
  Target->setHorizontalSpacing(6);
  Target->addWidget(Label2, 0, 0);
  Target->addWidget(ComboOutputFormat, 0, 1, Qt::AlignLeft);
  Target->addWidget(Label1, 1, 0);
  auto *FolderRow = new QHBoxLayout;
  FolderRow->addWidget(EditOutputFolder, 1);
  FolderRow->addWidget(ButtonBrowseForFolder);
  Target->addLayout(FolderRow, 1, 1);
  Target->setColumnStretch(1, 1);
  return Target;
}

// The video, audio and general settings, side by side.
QLayout *TForm1::CreateSettingsGroups(QWidget *Client) {
  GroupBox1 = NewComboGroup(Client, "GroupBox1", " Video Settings ",
                            {{&ComboVideoCodec, "ComboVideoCodec", "Video Codec : "},
                             {&ComboVideoSize, "ComboVideoSize", "Video Size : "},
                             {&ComboVideoBitrate, "ComboVideoBitrate", "Video Bitrate : "},
                             {&ComboVideoFramerate, "ComboVideoFramerate", "Video Framerate : "}});
  ComboVideoSize->setMaxVisibleItems(22);
  CheckBoxHdrToSdr = new QCheckBox("Convert HDR to SDR", GroupBox1);
  CheckBoxHdrToSdr->setObjectName("CheckBoxHdrToSdr");
  CheckBoxHdrToSdr->setAccessibleName("Convert HDR to SDR");
  CheckBoxHdrToSdr->setToolTip("Tone-map HDR video to SDR for screens and players without HDR");
  CheckBoxHdrToSdr->setToolTipDuration(HintHidePause);
  static_cast<QFormLayout *>(GroupBox1->layout())->addRow(CheckBoxHdrToSdr);
  GroupBox2 = NewComboGroup(Client, "GroupBox2", " Audio Settings ",
                            {{&ComboAudioCodec, "ComboAudioCodec", "Audio Codec : "},
                             {&ComboAudioBitrate, "ComboAudioBitrate", "Audio Bitrate :"},
                             {&ComboAudioChannels, "ComboAudioChannels", "Audio Channels :"},
                             {&ComboSamplingRate, "ComboSamplingRate", "Sampling Rate : "}});

  GroupBox3 = new QGroupBox(" General Settings ", Client);
  GroupBox3->setObjectName("GroupBox3");
  ComboLetterBox = NewCombo(GroupBox3, "ComboLetterBox");
  ComboLetterBox->setToolTip("Add a letterbox to keep video aspect ratio");
  ComboLetterBox->setToolTipDuration(HintHidePause);
  ComboAspectRatio = NewCombo(GroupBox3, "ComboAspectRatio");
  TrackBar1 = new QSlider(Qt::Horizontal, GroupBox3);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setRange(0, 10);
  TrackBar1->setPageStep(1);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  TrackBar1->setTickInterval(1);
  // Its hint is not shown; it still tells screen readers what 100% means.
  TrackBar1->setAccessibleDescription("100% is the original video volume");
  LabelVolume = new QLabel(GroupBox3);
  LabelVolume->setObjectName("LabelVolume");
  LabelVolume->setMinimumWidth(LabelVolume->fontMetrics().horizontalAdvance("200%") + 4);
  LabelVolume->setAccessibleName("Volume");
  auto *VolumeRow = new QHBoxLayout;
  VolumeRow->addWidget(TrackBar1, 1);
  VolumeRow->addWidget(LabelVolume);
  auto *GeneralForm = NewFormLayout(GroupBox3);
  GeneralForm->addRow(NewLabel(GroupBox3, "Video Zoom : ", ComboLetterBox), ComboLetterBox);
  GeneralForm->addRow(NewLabel(GroupBox3, "Aspect Ratio : ", ComboAspectRatio), ComboAspectRatio);
  GeneralForm->addRow(NewLabel(GroupBox3, "Volume : ", TrackBar1), VolumeRow);

  auto *Groups = new QHBoxLayout;
  Groups->setSpacing(4);
  // Each group gets what its widest row needs; the rest is shared.
  for (QGroupBox *Group : {GroupBox1, GroupBox2, GroupBox3}) {
    Group->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    Groups->addWidget(Group);
  }
  return Groups;
}

// The progress of the current row, with its stop button.
QLayout *TForm1::CreateProgressRow(QWidget *Client) {
  ProgressBar1 = new QProgressBar(Client);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setAccessibleName("Progress");
  ButtonStopSmall = NewSpeedButton(Client, "ButtonStopSmall", "Stop", "Stop Conversion",
                                   ThemeIcon("process-stop", QStyle::SP_MediaStop), false);
  ButtonStopSmall->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  auto *ProgressRow = new QHBoxLayout;
  ProgressRow->addWidget(ProgressBar1, 1);
  ProgressRow->addWidget(ButtonStopSmall);
  return ProgressRow;
}

void TForm1::CreateStatusBar() {
  // Status bar: three panels of 150, 300 and 50 pixels: the files being
  // converted ("Ready" when none), their output's size (how the run ended,
  // after it, wider where that needs it), and where the batch is with its
  // pace, which takes the room left. A text longer than its panel is cut in
  // the middle, whole in its hint.
  static constexpr int PanelWidths[3] = {150, 300, 50};
  static const char *const PanelNames[3] = {"StatusPanel0", "StatusPanel1", "StatusPanel2"};
  for (int I = 0; I < 3; ++I) {
    StatusPanel[I] = new TStatusLabel(this);
    StatusPanel[I]->setObjectName(PanelNames[I]);
    // The size panel may widen for the run's end where the bar has room.
    if (I == 0)
      StatusPanel[I]->setFixedWidth(PanelWidths[I]);
    else
      StatusPanel[I]->setMinimumWidth(PanelWidths[I]);
    StatusPanel[I]->setAccessibleName(QString("Status %1").arg(I + 1));
    statusBar()->addWidget(StatusPanel[I], I == 2 ? 1 : 0);
  }
  statusBar()->setSizeGripEnabled(true);
  StatusPanel[0]->setText("Ready");
}

// The file dialogs, the worker and the queue's timer.
void TForm1::CreateDialogsAndTimers() {
  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName("OpenDialog1");
  BrowseForFolder1 = new QFileDialog(this, "Select Output Directory");
  BrowseForFolder1->setObjectName("BrowseForFolder1");
  BrowseForFolder1->setFileMode(QFileDialog::Directory);
  BrowseForFolder1->setOption(QFileDialog::ShowDirsOnly, true);
  BrowseForFolder1->setLabelText(QFileDialog::LookIn, "Choose the required output directory below :");
  AddFolderDialog = new QFileDialog(this, "Add Folder");
  AddFolderDialog->setObjectName("AddFolderDialog");
  AddFolderDialog->setFileMode(QFileDialog::Directory);
  AddFolderDialog->setOption(QFileDialog::ShowDirsOnly, true);

  LogWindow = new TLogWindow(this);
  TracksDialog = new TTracksDialog(this);
  TimeRangeDialog = new TTimeRangeDialog(this);
  PreviewDialog = new TPreviewDialog(this);

  BMDThread1 = new TBMDThread(this);
  BMDThread1->setObjectName("BMDThread1");
  BMDThread1->SetUpdateEnabled(false);
  TimerConvertAgain = new QTimer(this);
  TimerConvertAgain->setObjectName("TimerConvertAgain");
  TimerConvertAgain->setInterval(100);
}

void TForm1::CreateMenus() {
  MenuFile = menuBar()->addMenu("&File");
  AddFiles1 = MenuFile->addAction("&Add Files");
  AddFolder1 = MenuFile->addAction("Add F&older...");
  MenuFile->addSeparator();
  Convert1 = MenuFile->addAction("&Convert");
  MenuFile->addSeparator();
  Exit1 = MenuFile->addAction(ThemeIcon("application-exit", QStyle::SP_DialogCloseButton), "E&xit");

  MenuOptions = menuBar()->addMenu("&Options");
  SetGeneralOptions1 = MenuOptions->addAction("Set &Additional Options");

  MenuHelp = menuBar()->addMenu("&Help");
  OpenHelpFile1 =
      MenuHelp->addAction(ThemeIcon("help-contents", QStyle::SP_DialogHelpButton), "Open &Help File");
  MenuHelp->addSeparator();
  VisitOurWebsite1 = MenuHelp->addAction(ThemeIcon("internet-web-browser", QStyle::SP_DriveNetIcon),
                                         "&Visit Korvane Website");
  MenuHelp->addSeparator();
  About1 = MenuHelp->addAction(ThemeIcon("help-about", QStyle::SP_MessageBoxInformation), "&About");

  // Each entry of a menu has a letter of its own: Show Log's L must never
  // clear the list.
  PopupListView1 = new QMenu(this);
  PopupListView1->setObjectName("PopupListView1");
  CheckAllItems1 = PopupListView1->addAction(ThemeIcon("edit-select-all", QStyle::SP_DialogApplyButton),
                                             "&Check All Items");
  UncheckAllItems1 = PopupListView1->addAction("&Uncheck All Items");
  PopupListView1->addSeparator();
  DeleteSelectedItem1 = PopupListView1->addAction("&Remove Selected Item");
  ClearAllItems1 =
      PopupListView1->addAction(ThemeIcon("edit-clear", QStyle::SP_TrashIcon), "Cl&ear All Items");
  PopupListView1->addSeparator();
  ShowLog1 =
      PopupListView1->addAction(ThemeIcon("text-x-generic", QStyle::SP_FileDialogInfoView), "Show &Log");
  OpenOutputFolder1 =
      PopupListView1->addAction(ThemeIcon("folder-open", QStyle::SP_DirOpenIcon), "&Open Output Folder");
  PopupListView1->addSeparator();
  Tracks1 = PopupListView1->addAction(ThemeIcon("audio-x-generic", QStyle::SP_FileDialogDetailedView),
                                      "&Tracks...");
  TimeRange1 = PopupListView1->addAction("Set Time Ran&ge...");
  Preview1 = PopupListView1->addAction(ThemeIcon("image-x-generic", QStyle::SP_FileDialogContentsView),
                                       "&Preview...");

  const std::pair<QObject *, const char *> Names[] = {
      {MenuFile, "File1"},
      {AddFiles1, "AddFiles1"},
      {AddFolder1, "AddFolder1"},
      {Convert1, "Convert1"},
      {Exit1, "Exit1"},
      {MenuOptions, "Options1"},
      {SetGeneralOptions1, "SetGeneralOptions1"},
      {MenuHelp, "Help1"},
      {OpenHelpFile1, "OpenHelpFile1"},
      {VisitOurWebsite1, "VisitOurWebsite1"},
      {About1, "About1"},
      {CheckAllItems1, "CheckAllItems1"},
      {UncheckAllItems1, "UncheckAllItems1"},
      {DeleteSelectedItem1, "DeleteSelectedItem1"},
      {ClearAllItems1, "ClearAllItems1"},
      {ShowLog1, "ShowLog1"},
      {OpenOutputFolder1, "OpenOutputFolder1"},
      {Tracks1, "Tracks1"},
      {TimeRange1, "TimeRange1"},
      {Preview1, "Preview1"},
  };
  for (const auto &[Object, Name] : Names) Object->setObjectName(Name);

  // The keys people expect: Ctrl+O adds files (Ctrl+Shift+O a folder),
  // Ctrl+Return converts, F1
  // opens the guide, Delete removes the selected row (where the list has
  // the focus); Escape asks to stop a run (ConnectHandlers).
  AddFiles1->setShortcut(QKeySequence::Open);
  AddFolder1->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_O);
  Convert1->setShortcut(Qt::CTRL | Qt::Key_Return);
  OpenHelpFile1->setShortcut(QKeySequence::HelpContents);
  DeleteSelectedItem1->setShortcut(QKeySequence::Delete);
  DeleteSelectedItem1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  ListView1->addAction(DeleteSelectedItem1);
}

}  // namespace korvane
