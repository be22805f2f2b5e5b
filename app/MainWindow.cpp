// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's start-up, list commands, output-format change, volume
// control, the rules that disable and re-enable it around a run, the add-file
// flow and the close guard.
#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "AboutBox.h"
#include "AdditionalOptions.h"
#include "AppIcons.h"
#include "BMDThread.h"
#include "DropDownCombo.h"
#include "FileListView.h"
#include "FontFixUp.h"
#include "LogWindow.h"
#include "ModernSettings.h"
#include "OpenDialogFilter.h"
#include "ProfileCatalogue.h"
#include "ProgramFolder.h"
#include "RowSetup.h"
#include "SpinEdit.h"

namespace korvane {

namespace {

const QString kCaption = QStringLiteral("Korvane Video Converter");

QString ToQString(const std::string &Text) { return QString::fromStdString(Text); }

// Puts a combo model's items and selection into a widget without raising
// its change signals.
void ShowCombo(const TOptionCombo &Model, QComboBox &Combo) {
  const QSignalBlocker Blocker(Combo);
  Combo.clear();
  for (const std::string &Item : Model.Items) Combo.addItem(ToQString(Item));
  Combo.setCurrentIndex(Model.ItemIndex);
}

}  // namespace

TForm1::TForm1(TMessageShell &Messages, QWidget *Parent) : QMainWindow(Parent), FMessages(Messages) {
  setObjectName("Form1");
  setWindowTitle(kCaption);
  setWindowIcon(ApplicationIcon());
  CreateControls();
  CreateMenus();
  ConnectHandlers();
  FitMinimumSize();
  resize(minimumSize());
}

void TForm1::FitMinimumSize() {
  // The classic size is where the window starts and the least it shrinks
  // to; larger fonts or a wider profile list may need more, and get it.
  // The lists' sizes are brought up to date first.
  for (QGroupBox *Group : {GroupBox1, GroupBox2, GroupBox3})
    if (Group->layout()) Group->layout()->activate();
  if (centralWidget() && centralWidget()->layout()) centralWidget()->layout()->activate();
  if (QLayout *Frame = layout()) Frame->activate();
  const QSize Classic(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
  // In width the drop-down lists get what their longest item needs.
  setMinimumSize(Classic.expandedTo(QSize(sizeHint().width(), minimumSizeHint().height())));
  if (width() < minimumWidth() || height() < minimumHeight()) resize(size().expandedTo(minimumSize()));
}

void TForm1::changeEvent(QEvent *Event) {
  QMainWindow::changeEvent(Event);
  if (Event->type() == QEvent::FontChange) FitMinimumSize();
}

TForm1::~TForm1() {
  // The worker lets events through while it waits for its thread to end:
  // it goes first, while the window is whole, so that a late row or a
  // timer never reaches a list already taken apart. No timer fires after.
  delete BMDThread1;
  BMDThread1 = nullptr;
  TimerConvertAgain->stop();
  if (FEstimateTimer) FEstimateTimer->stop();
  // The filler and the estimator use the libraries the component holds:
  // they end first.
  FFiller.reset();
  FEstimator.reset();
  DetachAllComponentEvents();
}

void TForm1::DetachAllComponentEvents() {
  for (TLaneComponent &Lane : FExtraLanes) DetachComponentEvents(*Lane.Component, *Lane.Engine);
  DetachComponentEvents(FFVCL, FRunEngine);
}

void TForm1::ConnectComponentEvents(TFFmpegVCL &Component, TComponentRunEngine &Engine, int Lane) {
  Component.OnProgress = [this, &Engine, Lane](int, int AFrameNumber, int AFPS, int ACurrentDuration,
                                               float AQuality, float ABitRate, int64_t ACurrentSize,
                                               int ATotalOutputDuration) {
    const TProgressInfo Info{AFrameNumber, AFPS,         ACurrentDuration,    AQuality,
                             ABitRate,     ACurrentSize, ATotalOutputDuration};
    const uint64_t TaskList = Engine.TaskList();
    QMetaObject::invokeMethod(
        this,
        [this, &Engine, Lane, Info, TaskList] {
          if (TaskList == Engine.TaskList()) FFVCLProgress(Info, Lane);
        },
        Qt::QueuedConnection);
  };
  Component.OnTerminate = [this, &Engine, Lane](int AIndex, bool AFinished, bool AException,
                                                const std::string &AMessage, const std::string &ANote) {
    const uint64_t TaskList = Engine.TaskList();
    const TTaskEnd End{AFinished, AException, AMessage, ANote};
    QMetaObject::invokeMethod(
        this,
        [this, &Engine, Lane, AIndex, End, TaskList] {
          if (TaskList == Engine.TaskList()) FFVCLTerminate(AIndex, End, Lane);
        },
        Qt::QueuedConnection);
  };
  // A task's own lines, for its row's log.
  Component.OnLog = [this, &Engine, Lane](int AIndex, TLogLevel ALogLevel, const std::string &AMsg) {
    if (AIndex < 0 || ALogLevel == llQuiet) return;
    const uint64_t TaskList = Engine.TaskList();
    QMetaObject::invokeMethod(
        this,
        [this, &Engine, Lane, AIndex, AMsg, TaskList] {
          if (TaskList == Engine.TaskList()) FRun.Log(AIndex, AMsg, Lane);
        },
        Qt::QueuedConnection);
  };
}

void TForm1::DetachComponentEvents(TFFmpegVCL &Component, TComponentRunEngine &Engine) {
  // The tasks read the handlers: stop and free them first, after which the
  // component raises no further event.
  Component.StopAllTasks();
  Engine.ClearTasks();
  Component.OnBeforeHook = nullptr;
  Component.OnCustomHook = nullptr;
  Component.OnLog = nullptr;
  Component.OnProgress = nullptr;
  Component.OnTerminate = nullptr;
}

void TForm1::PrepareLanes(int Count) {
  while (int(FExtraLanes.size()) + 1 < Count) {
    TLaneComponent Lane{std::make_unique<TFFmpegVCL>(), nullptr};
    if (FLibraryFolder.empty() || !Lane.Component->LoadMediaLibraries(FLibraryFolder, true)) break;
    Lane.Engine = std::make_unique<TComponentRunEngine>(*Lane.Component);
    ConnectComponentEvents(*Lane.Component, *Lane.Engine, int(FExtraLanes.size()) + 1);
    FExtraLanes.push_back(std::move(Lane));
  }
  std::vector<TRunEngine *> Engines;
  for (TLaneComponent &Lane : FExtraLanes) Engines.push_back(Lane.Engine.get());
  FRun.SetExtraEngines(Engines);
}

int TForm1::FilesAtOnce() const { return Form4 ? Form4->SpinEditFilesAtOnce->value() : 1; }

void TForm1::ConnectHandlers() {
  ConnectComponentEvents(FFVCL, FRunEngine, 0);
  connect(TimerConvertAgain, &QTimer::timeout, this, [this] { TimerConvertAgainTimer(); });
  connect(ButtonAddFile, &QToolButton::clicked, this, [this] { ButtonAddFileClick(); });
  BMDThread1->OnStart = [this](QObject *Sender, TBMDExecuteThread *Thread, void *&Data) {
    BMDThread1Start(Sender, Thread, Data);
  };
  connect(AddFiles1, &QAction::triggered, ButtonAddFile, &QToolButton::click);
  connect(ButtonAddFolder, &QToolButton::clicked, this, [this] { ButtonAddFolderClick(); });
  connect(AddFolder1, &QAction::triggered, ButtonAddFolder, &QToolButton::click);
  connect(ButtonConvert, &QToolButton::clicked, this, [this] { ButtonConvertClick(); });
  connect(Convert1, &QAction::triggered, ButtonConvert, &QToolButton::click);
  connect(ButtonStopConvert, &QToolButton::clicked, this, [this] { ButtonStopConvertClick(); });
  connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, this, [this] {
    if (RunUnderWay()) ButtonStopConvert->click();
  });
  connect(ButtonStopSmall, &QToolButton::clicked, ButtonStopConvert, &QToolButton::click);
  connect(ButtonRemove, &QToolButton::clicked, this, [this] { DeleteSelectedItem1Click(); });
  connect(DeleteSelectedItem1, &QAction::triggered, this, [this] { DeleteSelectedItem1Click(); });
  connect(ShowLog1, &QAction::triggered, this, [this] { ShowLog1Click(); });
  connect(OpenOutputFolder1, &QAction::triggered, this, [this] { OpenOutputFolder1Click(); });
  connect(ButtonClear, &QToolButton::clicked, this, [this] { ClearAllItems1Click(); });
  connect(ClearAllItems1, &QAction::triggered, this, [this] { ClearAllItems1Click(); });
  connect(CheckAllItems1, &QAction::triggered, this, [this] { CheckAllItems1Click(); });
  connect(UncheckAllItems1, &QAction::triggered, this, [this] { UncheckAllItems1Click(); });
  connect(ButtonBrowseForFolder, &QToolButton::clicked, this, [this] { ButtonBrowseForFolderClick(); });
  connect(ComboOutputFormat, &QComboBox::activated, this, [this] { ComboOutputFormatChange(); });
  connect(ListView1, &TFileListView::PathsDropped, this,
          [this](const QStringList &Paths) { AddPaths(Paths); });
  connect(ComboOutputFormat, &TDropDownCombo::DroppingDown, this, [this] { ComboOutputFormatDropDown(); });
  connect(TrackBar1, &QSlider::valueChanged, this, [this] { TrackBar1Change(); });
  connect(SetGeneralOptions1, &QAction::triggered, this, [this] { SetGeneralOptions1Click(); });
  connect(OpenHelpFile1, &QAction::triggered, this, [this] { OpenHelpFile1Click(); });
  connect(VisitOurWebsite1, &QAction::triggered, this, [this] { VisitOurWebsite1Click(); });
  connect(About1, &QAction::triggered, this, [this] { About1Click(); });
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
  connect(ListView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &At) { PopupListView1->popup(ListView1->viewport()->mapToGlobal(At)); });

  // The user's picks in the option combos go back into the profile model,
  // and are kept for the profile.
  for (const auto &[Combo, Model] : OptionCombos()) {
    connect(Combo, &QComboBox::currentIndexChanged, this, [Model](int Index) { Model->ItemIndex = Index; });
    connect(Combo, &QComboBox::activated, this, [this] { StoreProfileChoices(); });
  }
  connect(TrackBar1, &QSlider::valueChanged, this, [this] { StoreProfileChoices(); });
  // The estimates follow every choice the output's size may depend on.
  for (const auto &[Combo, Model] : OptionCombos())
    connect(Combo, &QComboBox::currentIndexChanged, this, [this] { EstimateSoon(); });
  connect(ComboLetterBox, &QComboBox::currentIndexChanged, this, [this] { EstimateSoon(); });
  connect(CheckBoxHdrToSdr, &QCheckBox::toggled, this, [this] { EstimateSoon(); });
  // The HDR choice follows the video codec (H.264 has none).
  connect(ComboVideoCodec, &QComboBox::currentIndexChanged, this, [this] { GreyUnusableChoices(); });
  connect(CheckBoxHdrToSdr, &QCheckBox::toggled, this, [this](bool On) { FProfile.HdrToSdr = On; });
  connect(CheckBoxHdrToSdr, &QCheckBox::clicked, this, [this] { StoreProfileChoices(); });
  ConnectChoiceHandlers();
}

bool TForm1::FormCreate() {
  FormFontFixUp(*this);

  OpenDialog1->setNameFilters(OpenDialogNameFilters());
  OpenDialog1->setOption(QFileDialog::HideNameFilterDetails, true);
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  AcceptTypedFileNames(*OpenDialog1);
  CloseCompletionsWithDialog(*OpenDialog1);
  CloseCompletionsWithDialog(*BrowseForFolder1);
  CloseCompletionsWithDialog(*AddFolderDialog);

  const QString Folder = ToQString(ResourceFolder());
  FLibraryFolder = Folder.toStdString() + "/Common Files";
  if (!FFVCL.LoadMediaLibraries(FLibraryFolder, true)) {
    Message({"Information", "Some files are missing. Please re-install this software",
             TMessageIcon::Information});
    return false;
  }

  setWindowTitle(kCaption);
  FHelpFile = Folder + "/help.html";
  CreateEstimator();

  TrackBar1->setValue(DefaultVolumePosition);
  TrackBar1Change();

  FillOutputFormatList(FProfile.ComboOutputFormat);
  ShowCombo(FProfile.ComboOutputFormat, *ComboOutputFormat);
  ShowFormatHeadings();
  SetFormatDropDownCount(25);

  ShowCombo(FProfile.ComboAspectRatio, *ComboAspectRatio);
  ShowCombo(FProfile.ComboAudioChannels, *ComboAudioChannels);
  {
    const QSignalBlocker Blocker(ComboLetterBox);
    ComboLetterBox->clear();
    ComboLetterBox->addItems({"None", "LetterBox"});
    ComboLetterBox->setCurrentIndex(0);
  }
  TimerConvertAgain->stop();
  return true;
}

void TForm1::showEvent(QShowEvent *Event) {
  QMainWindow::showEvent(Event);
  if (FShown) return;
  FShown = true;
  if (const QScreen *Screen = screen())
    move(Screen->availableGeometry().center() - frameGeometry().center() + pos());
  FormShow();
}

void TForm1::FormShow() { ComboOutputFormatChange(); }

TMessageAnswer TForm1::Message(const TMessage &Message) { return FMessages.Show(this, Message); }

// ---- Output format, option combos and volume ----

std::array<std::pair<QComboBox *, TOptionCombo *>, 9> TForm1::OptionCombos() {
  return {{
      {ComboVideoCodec, &FProfile.ComboVideoCodec},
      {ComboVideoSize, &FProfile.ComboVideoSize},
      {ComboVideoBitrate, &FProfile.ComboVideoBitrate},
      {ComboVideoFramerate, &FProfile.ComboVideoFramerate},
      {ComboAudioCodec, &FProfile.ComboAudioCodec},
      {ComboAudioBitrate, &FProfile.ComboAudioBitrate},
      {ComboAudioChannels, &FProfile.ComboAudioChannels},
      {ComboSamplingRate, &FProfile.ComboSamplingRate},
      {ComboAspectRatio, &FProfile.ComboAspectRatio},
  }};
}

void TForm1::ShowProfileCombos() {
  for (const auto &[Combo, Model] : OptionCombos()) ShowCombo(*Model, *Combo);
  GreyUnusableChoices();
}

bool TForm1::CopiesStreams() const {
  const TCatalogueRow *Profile = FindProfile(FProfile.ComboOutputFormat.Text());
  return Profile && Profile->Variant == TSettingsVariant::CopyAll;
}

void TForm1::GreyUnusableChoices() {
  // A list the profile leaves empty (the picture's choices of a sound
  // format, say) offers nothing: it stays in its place, greyed.
  for (QComboBox *Combo : {ComboVideoCodec, ComboVideoSize, ComboVideoBitrate, ComboVideoFramerate,
                           ComboAudioCodec, ComboAudioBitrate, ComboSamplingRate})
    Combo->setEnabled(!FRunLocked && Combo->count() > 0);
  // The copy keeps the sound and the picture as they are: these choices
  // would be ignored or fail the file, so they are greyed with a hint that
  // says why. Their values stay, for the profiles that use them.
  const bool Copy = CopiesStreams();
  const QString Kept = "The copy keeps every stream as it is: it cannot change this.";
  const std::pair<QWidget *, QString> General[] = {
      {ComboAudioChannels, QString()}, {ComboLetterBox, "Add a letterbox to keep video aspect ratio"},
      {ComboAspectRatio, QString()},   {TrackBar1, QString()},
      {LabelVolume, QString()},
  };
  for (const auto &[Control, Hint] : General) {
    Control->setEnabled(!FRunLocked && !Copy);
    Control->setToolTip(Copy ? Kept : Hint);
  }
  CheckBoxHdrToSdr->setVisible(HdrChoiceShown(FProfile));
  CheckBoxHdrToSdr->setEnabled(!FRunLocked && HdrChoiceOffered(FProfile));
}

void TForm1::ComboOutputFormatChange() {
  FProfile.ComboOutputFormat.ItemIndex = ComboOutputFormat->currentIndex();
  if (!ChangeOutputFormat(FProfile)) {
    // A separator row: back to the last profile chosen, nothing else changes.
    const QSignalBlocker Blocker(ComboOutputFormat);
    ComboOutputFormat->setCurrentIndex(FProfile.ComboOutputFormat.ItemIndex);
    return;
  }
  ShowProfileCombos();
  ListView1->SetSubItemOfAll(siOutput, OutputExtension());
  if (Form4) SetFormatDropDownCount(Form4->SpinEdit1->Value());
  RestoreProfileChoices();
  EstimateSoon();
  // A profile with longer choices may need a wider window.
  FitMinimumSize();
}

void TForm1::ShowFormatHeadings() {
  // A separator row that opens a group with a name shows the name, bold and
  // out of reach of the mouse and the arrow keys. The model keeps the row's
  // own text, so the row still counts as a separator everywhere.
  auto *Model = qobject_cast<QStandardItemModel *>(ComboOutputFormat->model());
  const auto Catalogue = OutputProfileCatalogue();
  for (size_t Row = 0; Model && Row < Catalogue.size() && int(Row) < Model->rowCount(); ++Row) {
    if (Catalogue[Row].Heading.empty()) continue;
    QStandardItem *Item = Model->item(int(Row));
    Item->setText(QString::fromUtf8(Catalogue[Row].Heading.data(), qsizetype(Catalogue[Row].Heading.size())));
    Item->setFlags(Item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    QFont Bold = ComboOutputFormat->font();
    Bold.setBold(true);
    Item->setFont(Bold);
  }
}

void TForm1::ComboOutputFormatDropDown() {
  if (Form4) SetFormatDropDownCount(Form4->SpinEdit1->Value());
}

void TForm1::SetFormatDropDownCount(int Lines) { ComboOutputFormat->setMaxVisibleItems(std::max(Lines, 1)); }

void TForm1::TrackBar1Change() { LabelVolume->setText(ToQString(VolumeLabel(TrackBar1->value()))); }

void TForm1::RestoreProfileChoices() {
  const QString Profile = ComboOutputFormat->currentText();
  FRestoringChoices = true;
  // The copy shows the channels its profile gives ("Original") and the
  // source's volume, which is what it keeps; nothing of it is stored.
  const bool Copy = CopiesStreams();
  for (QComboBox *Combo : {ComboVideoCodec, ComboVideoSize, ComboVideoBitrate, ComboVideoFramerate,
                           ComboAudioCodec, ComboAudioBitrate, ComboAudioChannels, ComboSamplingRate}) {
    if (Copy && Combo == ComboAudioChannels) continue;
    // A choice the profile no longer offers leaves its default.
    const int Index = Combo->findText(StoredProfileChoice(Profile, Combo->objectName()).toString());
    if (Index >= 0) Combo->setCurrentIndex(Index);
  }
  // The volume the bar had before the copy comes back after it.
  if (Copy && FVolumeBeforeCopy < 0) FVolumeBeforeCopy = TrackBar1->value();
  if (!Copy && FVolumeBeforeCopy >= 0) TrackBar1->setValue(std::exchange(FVolumeBeforeCopy, -1));
  CheckBoxHdrToSdr->setChecked(StoredProfileChoice(Profile, CheckBoxHdrToSdr->objectName()).toBool());
  bool Ok = false;
  const int Volume = StoredProfileChoice(Profile, TrackBar1->objectName()).toInt(&Ok);
  if (Copy)
    TrackBar1->setValue(DefaultVolumePosition);
  else if (Ok && Volume >= TrackBar1->minimum() && Volume <= TrackBar1->maximum())
    TrackBar1->setValue(Volume);
  FRestoringChoices = false;
}

void TForm1::StoreProfileChoices() {
  if (FRestoringChoices || !FShown || CopiesStreams()) return;
  const QString Profile = ComboOutputFormat->currentText();
  for (QComboBox *Combo : {ComboVideoCodec, ComboVideoSize, ComboVideoBitrate, ComboVideoFramerate,
                           ComboAudioCodec, ComboAudioBitrate, ComboAudioChannels, ComboSamplingRate})
    if (Combo->count() > 0) StoreProfileChoice(Profile, Combo->objectName(), Combo->currentText());
  StoreProfileChoice(Profile, TrackBar1->objectName(), TrackBar1->value());
  StoreProfileChoice(Profile, CheckBoxHdrToSdr->objectName(), CheckBoxHdrToSdr->isChecked());
}

QString TForm1::OutputExtension() const { return ToQString(FProfile.OutputExtension); }

int TForm1::VolumeValue() const { return korvane::VolumeValue(TrackBar1->value()); }

// ---- List commands ----

void TForm1::DeleteSelectedItem1Click() {
  if (FAdding) return;
  if (QTreeWidgetItem *Selected = ListView1->currentItem(); Selected && Selected->isSelected()) {
    const int Row = ListView1->indexOfTopLevelItem(Selected);
    // Its estimate is no longer made, or shown when it comes.
    if (FEstimator) FEstimator->Cancel(ListView1->RowId(Row));
    delete Selected;
    FRun.RowRemoved(Row);
  }
}

void TForm1::ShowLog1Click() {
  QTreeWidgetItem *Selected = ListView1->currentItem();
  if (!Selected || !Selected->isSelected()) return;
  const int Row = ListView1->indexOfTopLevelItem(Selected);
  LogWindow->ShowRow(ListView1->Caption(Row), ListView1->SubItem(Row, siProgress), ListView1->Reason(Row),
                     ListView1->Log(Row));
}

void TForm1::ClearAllItems1Click() {
  if (FAdding || RunUnderWay()) return;
  FRunEngine.ClearTasks();
  if (FEstimator) FEstimator->CancelAll();
  ListView1->clear();
  FRun.RowRemoved(-1);
}

void TForm1::CheckAllItems1Click() { ListView1->SetAllChecked(true); }

void TForm1::UncheckAllItems1Click() { ListView1->SetAllChecked(false); }

void TForm1::ButtonBrowseForFolderClick() {
  if (RunUnderWay()) return;
  const QString Current = EditOutputFolder->text().trimmed();
  if (!Current.isEmpty() && QFileInfo(Current).isDir()) BrowseForFolder1->setDirectory(Current);
  if (BrowseForFolder1->exec() != QDialog::Accepted) return;
  const QStringList Chosen = BrowseForFolder1->selectedFiles();
  if (!Chosen.isEmpty()) EditOutputFolder->setText(QDir::toNativeSeparators(Chosen.first()));
}

// ---- The run's controls ----

void TForm1::ButtonConvertClick() {
  if (!RunUnderWay() && !FAdding) PrepareLanes(FilesAtOnce());
  FRun.ConvertClick(FAdding);
}

void TForm1::ButtonStopConvertClick() { FRun.StopClick(); }

int TForm1::RowCount() const { return ListView1->RowCount(); }

bool TForm1::RowChecked(int Row) const { return ListView1->Checked(Row); }

std::string TForm1::RowCaption(int Row) const { return ListView1->Caption(Row).toStdString(); }

TSourcePicture TForm1::RowPicture(int Row) const { return ListView1->Picture(Row); }

std::string TForm1::RowSubfolder(int Row) const { return ListView1->Subfolder(Row).toStdString(); }

std::string TForm1::RowDuration(int Row) const { return ListView1->ConvertedDuration(Row).toStdString(); }

TFileDetails TForm1::RowDetails(int Row) const { return ListView1->Details(Row); }

void TForm1::SetRowProgress(int Row, const std::string &Text) {
  ListView1->SetSubItem(Row, siProgress, ToQString(Text));
}

void TForm1::SetRowFrames(int Row, const std::string &Text) {
  ListView1->SetSubItem(Row, siFrames, ToQString(Text));
}

void TForm1::ClearRowTexts() {
  // "Error" marks a file the probe could not open: it stays with its
  // reason, or the row would look like a good file.
  for (int Row = 0; Row < ListView1->RowCount(); ++Row) {
    if (ListView1->SubItem(Row, siProgress) == "Error") continue;
    ListView1->SetSubItem(Row, siProgress, QString());
    ListView1->SetReason(Row, QString());
    ListView1->ClearLog(Row);
    // The size of an output written before belongs to that run.
    if (TRowEstimate Estimate = ListView1->Estimate(Row); Estimate.Written >= 0) {
      Estimate.Written = -1;
      ListView1->SetEstimate(Row, Estimate);
    }
  }
  ListView1->SetSubItemOfAll(siFrames, QString());
}

void TForm1::SetRowReason(int Row, const std::string &Text) { ListView1->SetReason(Row, ToQString(Text)); }

void TForm1::AppendRowLog(int Row, const std::string &Line) { ListView1->AppendLog(Row, ToQString(Line)); }

void TForm1::MakeRowVisible(int Row) { ListView1->MakeVisible(Row); }

void TForm1::SetProgressBar(int Percent) {
  if (Percent < 0) {
    // A bar without a range shows activity, not a position.
    ProgressBar1->setRange(0, 0);
    return;
  }
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(std::clamp(Percent, 0, 100));
}

void TForm1::SetStatusText(const std::string &Text) { StatusPanel[1]->SetText(ToQString(Text)); }

void TForm1::SetStatusFile(const std::string &Text) {
  StatusPanel[0]->SetText(Text.empty() ? QString("Ready") : ToQString(Text));
}

void TForm1::SetStatusPace(const std::string &Text) { StatusPanel[2]->SetText(ToQString(Text)); }

void TForm1::ShowInformation(const std::string &Text) {
  Message({"Information", ToQString(Text), TMessageIcon::Information});
}

void TForm1::ShowRunEnd(const std::string &Text, bool Converted, const std::string &Sizes) {
  TMessage End{"Information", ToQString(Text), TMessageIcon::Information};
  End.Details = ToQString(Sizes);
  if (Converted) End.Action = "Open Output Folder";
  if (Message(End) == TMessageAnswer::Action) OpenOutputFolder1Click();
}

bool TForm1::ConfirmStop() {
  return Message({"Confirmation", "Stop all conversions?", TMessageIcon::Question, true}) ==
         TMessageAnswer::Yes;
}

void TForm1::SetTimerEnabled(bool Enabled) {
  if (Enabled)
    TimerConvertAgain->start();
  else
    TimerConvertAgain->stop();
}

TRunChoices TForm1::Choices() const {
  TRunChoices Choices;
  Choices.OutputFolder = EditOutputFolder->text().toStdString();
  Choices.Overwrite = Form4 && Form4->CheckBoxOverWrite->isChecked();
  Choices.OutputExtension = FProfile.OutputExtension;
  Choices.Profile = &FProfile;
  // A greyed choice asks for nothing: the copy keeps the streams as they are.
  const bool Copy = CopiesStreams();
  Choices.VolumePosition = Copy ? DefaultVolumePosition : TrackBar1->value();
  Choices.LetterBox = !Copy && ComboLetterBox->currentIndex() == 1;
  Choices.FilesAtOnce = FilesAtOnce();
  Choices.KeepFileDate = !Form4 || Form4->CheckBoxKeepFileDate->isChecked();
  Choices.KeepFolders = Form4 && Form4->CheckBoxKeepFolders->isChecked();
  Choices.SkipComplete = Form4 && Form4->CheckBoxSkipExisting->isChecked();
  return Choices;
}

void TForm1::SetWindowControlsEnabled(bool Enabled) {
  QWidget *const Controls[] = {
      ButtonAddFile,   ButtonClear,       ButtonRemove,        ButtonConvert,     ComboOutputFormat,
      ComboVideoSize,  ComboVideoBitrate, ComboVideoFramerate, ComboAudioBitrate, ComboAudioChannels,
      ComboVideoCodec, ComboSamplingRate, ComboAudioCodec,     TrackBar1,         ComboAspectRatio,
      ComboLetterBox,  ButtonAddFolder,
  };
  for (QWidget *Control : Controls) Control->setEnabled(Enabled);
  GreyUnusableChoices();
  UpdateRowCommands();
  ListView1->setContextMenuPolicy(Enabled ? Qt::CustomContextMenu : Qt::NoContextMenu);
  for (QMenu *Menu : {MenuFile, MenuOptions, MenuHelp}) Menu->menuAction()->setEnabled(Enabled);
}

void TForm1::DisableWindowForRun() {
  FRunLocked = true;
  // The estimates' samples wait while files convert: they never take
  // time from the run.
  if (FEstimator) FEstimator->SetPaused(true);
  SetWindowControlsEnabled(false);
}

void TForm1::EnableWindowAfterRun() {
  FRunLocked = false;
  if (FEstimator) FEstimator->SetPaused(false);
  SetWindowControlsEnabled(true);
}

// ---- Menus ----

void TForm1::SetGeneralOptions1Click() {
  if (!Form4) return;
  Form4->show();
  Form4->raise();
}

void TForm1::OpenOnDesktop(const QUrl &Url) {
  if (!QDesktopServices::openUrl(Url))
    Message({"Information", "No program on this desktop opens " + Url.toDisplayString(QUrl::PreferLocalFile),
             TMessageIcon::Information});
}

void TForm1::OpenHelpFile1Click() {
  if (QFileInfo(FHelpFile).isFile()) OpenOnDesktop(QUrl::fromLocalFile(FHelpFile));
}

void TForm1::VisitOurWebsite1Click() { OpenOnDesktop(kWebSiteUrl); }

void TForm1::OpenOutputFolder1Click() {
  const QString Folder = EditOutputFolder->text().trimmed();
  if (!QFileInfo(Folder).isDir()) {
    Message({"Information", ToQString(TConversionRun::MissingFolderText(Folder.toStdString())),
             TMessageIcon::Information});
    return;
  }
  OpenOnDesktop(QUrl::fromLocalFile(Folder));
}

void TForm1::About1Click() {
  if (FormAbout) FormAbout->exec();
}

void TForm1::Exit1Click() { EndMessageLoop(); }

void TForm1::EndMessageLoop() {
  // Only a running loop is ended: without one (the window driven directly,
  // as tests do) an exit request would stay pending and end every later
  // dialog at once.
  if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

// ---- Close ----

bool TForm1::FormCloseQuery() {
  if (RunUnderWay()) {
    // Closing mid-run asks; Yes stops the run, whose output so far is
    // finished so it plays, and the window closes.
    if (Message({"Confirmation", "A conversion is running. Stop it and quit?", TMessageIcon::Question,
                 true}) != TMessageAnswer::Yes)
      return false;
    FRun.Stop();
  }
  DetachAllComponentEvents();
  return true;
}

void TForm1::FormClose() {
  if (!Form4) return;
  try {
    SaveSettings(SettingsControls());
  } catch (...) {
  }
}

void TForm1::closeEvent(QCloseEvent *Event) {
  if (!FormCloseQuery()) {
    Event->ignore();
    return;
  }
  FormClose();
  Event->accept();
  // Closing the main window ends the program, even with the Additional
  // Options dialog still open beside it.
  EndMessageLoop();
}

TSettingsControls TForm1::SettingsControls() {
  return {EditOutputFolder, ComboOutputFormat, Form4 ? Form4->CheckBoxOverWrite : nullptr,
          Form4 ? Form4->SpinEdit1 : nullptr, ComboLetterBox};
}

}  // namespace korvane
