// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: the file list with its commands, the output profile and
// its option combos, the output folder, the toolbar and menus, the progress
// and status bars. It owns the transcoding component, the worker component
// the add-file flow runs in, and the timer of the conversion queue.
#pragma once

#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QString>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "ComponentRunEngine.h"
#include "ConversionRun.h"
#include "FFmpegVCL.h"
#include "ListFiller.h"
#include "MessageShell.h"
#include "ProfileOptions.h"
#include "Settings.h"
#include "SizeEstimator.h"
#include "StatusLabel.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSlider;
class QTimer;
class QToolButton;

namespace korvane {

class TBMDThread;
class TBMDExecuteThread;
class TDropDownCombo;
class TFileListView;
class TForm4;
class TLogWindow;
class TFormAbout;
class TPreviewDialog;
class TTimeRangeDialog;
class TTracksDialog;

class TForm1 : public QMainWindow, private TRunWindow {
  Q_OBJECT
 public:
  // The size of the window below its menu bar when it starts, and the least
  // it can be made.
  static constexpr int ClientWidth = 767;
  static constexpr int ClientHeight = 515;

  explicit TForm1(TMessageShell &Messages, QWidget *Parent = nullptr);
  ~TForm1() override;

  // Start-up. False when the media libraries could not be loaded: the
  // re-install message has been shown and the application is to end.
  bool FormCreate();

  // ---- Controls ----
  QToolButton *ButtonAddFile, *ButtonRemove, *ButtonClear, *ButtonStopConvert, *ButtonConvert;
  QToolButton *ButtonAddFolder;
  // What to convert of the selected row: its tracks, and its picture as
  // the output will look.
  QToolButton *ButtonTracks, *ButtonPreview;
  TFileListView *ListView1;
  QLabel *Label2;
  TDropDownCombo *ComboOutputFormat;
  QLabel *Label1;
  QLineEdit *EditOutputFolder;
  QToolButton *ButtonBrowseForFolder;
  QGroupBox *GroupBox1, *GroupBox2, *GroupBox3;
  QComboBox *ComboVideoCodec, *ComboVideoSize, *ComboVideoBitrate, *ComboVideoFramerate;
  QComboBox *ComboAudioCodec, *ComboAudioBitrate, *ComboAudioChannels, *ComboSamplingRate;
  QComboBox *ComboLetterBox, *ComboAspectRatio;
  QCheckBox *CheckBoxHdrToSdr;  // shown for profiles whose codecs keep HDR
  QSlider *TrackBar1;
  QLabel *LabelVolume;
  QProgressBar *ProgressBar1;
  QToolButton *ButtonStopSmall;
  TStatusLabel *StatusPanel[3];
  QFileDialog *OpenDialog1;
  QFileDialog *BrowseForFolder1;
  QFileDialog *AddFolderDialog;  // the folder Add Folder lists
  QMenu *PopupListView1;
  QAction *CheckAllItems1, *UncheckAllItems1, *DeleteSelectedItem1, *ClearAllItems1, *ShowLog1,
      *OpenOutputFolder1, *Tracks1, *TimeRange1, *Preview1;
  QMenu *MenuFile, *MenuOptions, *MenuHelp;
  QAction *AddFiles1, *AddFolder1, *Convert1, *Exit1, *SetGeneralOptions1, *OpenHelpFile1, *VisitOurWebsite1,
      *About1;
  TBMDThread *BMDThread1;
  QTimer *TimerConvertAgain;
  // The selected row's log, opened by Show Log.
  TLogWindow *LogWindow;
  // The choices of what to convert of the selected row, and its preview.
  TTracksDialog *TracksDialog;
  TTimeRangeDialog *TimeRangeDialog;
  TPreviewDialog *PreviewDialog;
  TFFmpegVCL FFVCL;

  // The two dialogs created after this window; they register themselves.
  TFormAbout *FormAbout = nullptr;
  TForm4 *Form4 = nullptr;

  // ---- Handlers ----
  void FormShow();
  void ButtonAddFileClick();
  void BMDThread1Start(QObject *Sender, TBMDExecuteThread *Thread, void *&Data);
  // Lists the media files of a folder's whole tree, picked in a dialog.
  void ButtonAddFolderClick();
  // Adds files and folders (their media files, recursively) as Add Files
  // does: files dropped on the list and those named on the command line.
  // Ignored while a run is under way or files are being added. The rows
  // come as the files are probed, off the UI thread; Adding() is true
  // until the last one is listed.
  void AddPaths(const QStringList &Paths);
  void ButtonConvertClick();
  void ButtonStopConvertClick();
  void DeleteSelectedItem1Click();
  // Shows the selected row's reason and what its conversion logged.
  void ShowLog1Click();
  // Opens the output folder in the desktop's file manager.
  void OpenOutputFolder1Click();
  // The selected row's tracks, its time range and its preview, each in a
  // dialog of its own; the choices stay with the row.
  void Tracks1Click();
  void TimeRange1Click();
  void Preview1Click();
  // Opens Url with the desktop's program for it; says so when none can.
  void OpenOnDesktop(const QUrl &Url);
  void ClearAllItems1Click();
  void CheckAllItems1Click();
  void UncheckAllItems1Click();
  void ButtonBrowseForFolderClick();
  void ComboOutputFormatChange();
  void ComboOutputFormatDropDown();
  void TrackBar1Change();
  void TimerConvertAgainTimer() { FRun.TimerTick(); }
  // The events of the component of lane Lane (0: FFVCL).
  void FFVCLProgress(const TProgressInfo &Info, int Lane = 0) { FRun.Progress(Info, Lane); }
  void FFVCLTerminate(int AIndex, const TTaskEnd &End, int Lane = 0) { FRun.Terminate(AIndex, End, Lane); }
  void SetGeneralOptions1Click();
  void OpenHelpFile1Click();
  void VisitOurWebsite1Click();
  void About1Click();
  void Exit1Click();

  // ---- Shell state ----
  QString OutputExtension() const;
  int VolumeValue() const;
  bool Adding() const { return FAdding; }
  bool Converting() const { return FRun.Converting(); }
  // From "Convert Now !" to the run's end, the gaps between rows included
  // (a row's task may be over while the next row is yet to start).
  bool RunUnderWay() const { return FRunLocked || Converting(); }
  const TConversionRun &Run() const { return FRun; }
  // What makes the rows' estimates by coding samples; none before the
  // media libraries are loaded.
  const TSizeEstimator *Estimator() const { return FEstimator.get(); }
  // The user guide "Open Help File" shows; beside the program at start-up.
  const QString &HelpFile() const { return FHelpFile; }
  void SetHelpFile(const QString &Path) { FHelpFile = Path; }
  // The model the profile combos show; ApplyProfileSettings reads it.
  const TProfileForm &ProfileForm() const { return FProfile; }

  // The controls around a run: disabled when it starts, enabled after it.
  void DisableWindowForRun();
  void EnableWindowAfterRun();

  // The drop-down line count of the output-format list.
  void SetFormatDropDownCount(int Lines);
  TSettingsControls SettingsControls();

 protected:
  void showEvent(QShowEvent *Event) override;
  void closeEvent(QCloseEvent *Event) override;
  void changeEvent(QEvent *Event) override;

 private:
  void CreateControls();
  // The parts of the window, top to bottom; each returns its layout.
  QLayout *CreateToolbar(QWidget *Client);
  void CreateFileList(QWidget *Client);
  QLayout *CreateTargetRows(QWidget *Client);
  QLayout *CreateSettingsGroups(QWidget *Client);
  QLayout *CreateProgressRow(QWidget *Client);
  void CreateStatusBar();
  void CreateDialogsAndTimers();
  void CreateMenus();
  // The least size: the classic one, or what the texts need if more.
  void FitMinimumSize();
  void ConnectHandlers();
  // The row commands of what to convert, and their dialogs' answers.
  void ConnectChoiceHandlers();
  // The window's part of the close: refuses during a run, otherwise detaches
  // the component's events and stops its tasks.
  bool FormCloseQuery();
  void FormClose();
  // Ends the application's message loop.
  void EndMessageLoop();
  // The eight option combos and the aspect combo, each with its place in
  // the profile model.
  std::array<std::pair<QComboBox *, TOptionCombo *>, 9> OptionCombos();
  // Shows the names of the groups whose separator row has one.
  void ShowFormatHeadings();
  // Copies the option combos of the profile model into the widgets.
  void ShowProfileCombos();
  // Probes each file, and the media files of each folder, on the filler's
  // thread and lists them (a row marked "Error" when unreadable).
  void AddRows(const QStringList &Paths);
  // A batch of the filler's rows, on the UI thread.
  void ShowFoundRows(const std::vector<TListedFile> &Rows);
  // The filler's end: what it passed over goes to the status bar.
  void FillingDone(const TFillCounts &Counts);
  // Greys the option lists the profile leaves empty, and the choices a copy
  // of the streams cannot carry out while the copy is chosen (and all while
  // a run has the controls locked).
  void GreyUnusableChoices();
  // The profile copies every stream as it is: nothing is decoded, so the
  // volume, the channels, the zoom and the aspect cannot change.
  bool CopiesStreams() const;
  void SetWindowControlsEnabled(bool Enabled);
  // The selected row, or -1.
  int SelectedRow() const;
  // The commands on the selected row: enabled while a row is selected and
  // no run has the window locked.
  void UpdateRowCommands();
  // Keeps the choice a dialog accepted with the row it was opened for, if
  // that row is still listed.
  void KeepRowChoices(const TRowChoices &Choices);
  // The "Estimated Size" column. Every row's estimate is brought up to
  // date a moment after the choices change (several change at once when a
  // profile is chosen); each row asks the estimator only when what its
  // size depends on has changed.
  void CreateEstimator();
  void EstimateSoon();
  void UpdateEstimates();
  void EstimateRow(int Row);
  // An estimate the estimator made, on the UI thread: shown if its row is
  // still listed and still wants it.
  void ShowEstimate(quint64 Id, const std::string &Key, const TSizeEstimate &Estimate);
  // Whether the row's conversion keeps every audio track, as the profile
  // and the user's option lines have it, rather than one.
  bool KeepsEveryTrack(int Row) const;
  TMessageAnswer Message(const TMessage &Message);
  // A component's events come on its task's thread: each is copied and
  // handed to the UI thread, unless it belongs to a task list cleared since.
  // Lane 0 is FFVCL; the others convert files side by side with it.
  void ConnectComponentEvents(TFFmpegVCL &Component, TComponentRunEngine &Engine, int Lane);
  void DetachComponentEvents(TFFmpegVCL &Component, TComponentRunEngine &Engine);
  void DetachAllComponentEvents();
  // Makes sure there are components for Count files at once (fewer when the
  // libraries cannot be loaded for more) and hands them to the run.
  void PrepareLanes(int Count);
  // The files converted at the same time, as Additional Options says.
  int FilesAtOnce() const;
  // The option choices and volume the user last made for the selected
  // profile, kept from one start to the next.
  void RestoreProfileChoices();
  void StoreProfileChoices();

  // The window as the conversion run sees it.
  int RowCount() const override;
  bool RowChecked(int Row) const override;
  std::string RowCaption(int Row) const override;
  TSourcePicture RowPicture(int Row) const override;
  std::string RowDuration(int Row) const override;
  std::string RowSubfolder(int Row) const override;
  TRowChoices RowChoices(int Row) const override;
  TFileDetails RowDetails(int Row) const override;
  void SetRowOutputSize(int Row, int64_t Bytes) override;
  void SetRowProgress(int Row, const std::string &Text) override;
  void SetRowFrames(int Row, const std::string &Text) override;
  void SetRowReason(int Row, const std::string &Text) override;
  void AppendRowLog(int Row, const std::string &Line) override;
  void ClearRowTexts() override;
  void MakeRowVisible(int Row) override;
  void SetProgressBar(int Percent) override;
  void SetStatusText(const std::string &Text) override;
  void SetStatusFile(const std::string &Text) override;
  void SetStatusPace(const std::string &Text) override;
  void ShowInformation(const std::string &Text) override;
  void ShowRunEnd(const std::string &Text, bool Converted, const std::string &Sizes) override;
  bool ConfirmStop() override;
  void BrowseForFolder() override { ButtonBrowseForFolderClick(); }
  void DisableWindow() override { DisableWindowForRun(); }
  void EnableWindow() override { EnableWindowAfterRun(); }
  void SetTimerEnabled(bool Enabled) override;
  TRunChoices Choices() const override;

  TMessageShell &FMessages;
  TProfileForm FProfile;
  QString FHelpFile;
  bool FAdding = false;
  std::unique_ptr<TListFiller> FFiller;  // while files are being added
  bool FRunLocked = false;               // the run has locked the controls
  bool FShown = false;
  QPersistentModelIndex FChoiceRow;  // the row the choice dialogs were opened for
  bool FRestoringChoices = false;    // the picks shown are the stored ones
  int FVolumeBeforeCopy = -1;        // the bar's position while the copy shows the source's
  std::string FLibraryFolder;        // the media libraries, as loaded
  TComponentRunEngine FRunEngine{FFVCL};
  // The components of the lanes after the first.
  struct TLaneComponent {
    std::unique_ptr<TFFmpegVCL> Component;
    std::unique_ptr<TComponentRunEngine> Engine;
  };
  std::vector<TLaneComponent> FExtraLanes;
  TConversionRun FRun{*this, FRunEngine};
  std::unique_ptr<TSizeEstimator> FEstimator;
  QTimer *FEstimateTimer = nullptr;  // brings the estimates up to date, once the choices have settled
};

}  // namespace korvane
