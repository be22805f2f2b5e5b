// SPDX-License-Identifier: GPL-3.0-or-later
// A window and a component that record what the conversion run asks of
// them, for tests that drive the run as the window's buttons, timer and the
// component's events drive it; and korvane-convert's batch runner on the
// same component, with the files' facts stated.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "AVProbe.h"
#include "BatchRunner.h"
#include "ConversionRun.h"

namespace korvane::test {

struct TRow {
  // VideoSize: the picture's size as shown, "1280x720"; " " for none.
  TRow(std::string ACaption, const std::string &VideoSize, bool AChecked)
      : Caption(std::move(ACaption)), Checked(AChecked) {
    std::sscanf(VideoSize.c_str(), "%dx%d", &Picture.Width, &Picture.Height);
  }
  std::string Caption;
  bool Checked;
  TSourcePicture Picture;
  std::string Duration;
  TFileDetails Details;
  std::string Progress, Frames, Reason;
  std::vector<std::string> Log;
  int64_t Written = -1;  // the output's size, as the run told it
};

class TFakeWindow : public TRunWindow {
 public:
  std::vector<TRow> Rows;
  std::vector<std::string> Messages;
  std::deque<bool> StopAnswers;       // Yes or No for the next questions
  std::function<void()> WhileAsking;  // what happens while a question is open
  std::vector<std::string> Log;       // browse, lock, unlock
  int Bar = 0;
  std::string Status, StatusFile, StatusPace;
  bool TimerOn = false;
  bool EndOffersFolder = false;
  std::string EndSizes;
  TRunChoices Given;
  TProfileForm Profile;

  TFakeWindow() {
    FillOutputFormatList(Profile.ComboOutputFormat);
    Profile.ComboOutputFormat.Select("MP4 - MPEG4 Video (*.mp4)");
    ChangeOutputFormat(Profile);
    Given.OutputFolder = "/tmp";
    Given.OutputExtension = "MP4";
    Given.Profile = &Profile;
  }
  int RowCount() const override { return static_cast<int>(Rows.size()); }
  bool RowChecked(int Row) const override { return Rows.at(Row).Checked; }
  std::string RowCaption(int Row) const override { return Rows.at(Row).Caption; }
  TSourcePicture RowPicture(int Row) const override { return Rows.at(Row).Picture; }
  std::string RowDuration(int Row) const override { return Rows.at(Row).Duration; }
  TFileDetails RowDetails(int Row) const override { return Rows.at(Row).Details; }
  void SetRowProgress(int Row, const std::string &Text) override { Rows.at(Row).Progress = Text; }
  void SetRowFrames(int Row, const std::string &Text) override { Rows.at(Row).Frames = Text; }
  void SetRowReason(int Row, const std::string &Text) override { Rows.at(Row).Reason = Text; }
  void SetRowOutputSize(int Row, int64_t Bytes) override { Rows.at(Row).Written = Bytes; }
  void AppendRowLog(int Row, const std::string &Line) override { Rows.at(Row).Log.push_back(Line); }
  void ClearRowTexts() override {
    for (TRow &Row : Rows) Row.Progress = Row.Frames = "";
  }
  void MakeRowVisible(int) override {}
  void SetProgressBar(int Percent) override { Bar = Percent; }
  void SetStatusText(const std::string &Text) override { Status = Text; }
  void SetStatusFile(const std::string &Text) override { StatusFile = Text; }
  void SetStatusPace(const std::string &Text) override { StatusPace = Text; }
  void ShowInformation(const std::string &Text) override { Messages.push_back(Text); }
  void ShowRunEnd(const std::string &Text, bool Converted, const std::string &Sizes) override {
    Messages.push_back(Text);
    EndOffersFolder = Converted;
    EndSizes = Sizes;
  }
  bool ConfirmStop() override {
    Messages.push_back("Stop all conversions?");
    if (WhileAsking) WhileAsking();
    const bool Yes = !StopAnswers.empty() && StopAnswers.front();
    if (!StopAnswers.empty()) StopAnswers.pop_front();
    return Yes;
  }
  void BrowseForFolder() override { Log.push_back("browse"); }
  void DisableWindow() override { Log.push_back("lock"); }
  void EnableWindow() override { Log.push_back("unlock"); }
  void SetTimerEnabled(bool Enabled) override { TimerOn = Enabled; }
  TRunChoices Choices() const override { return Given; }
  std::vector<std::string> Progress() const {
    std::vector<std::string> Texts;
    for (const TRow &Row : Rows) Texts.push_back(Row.Progress);
    return Texts;
  }
};

class TFakeEngine : public TRunEngine {
 public:
  std::vector<std::string> Calls;
  std::vector<std::string> Inputs;  // files tasks were added for
  std::vector<TOutputOptions> Outputs;
  std::vector<std::string> OutputNames;
  std::vector<std::string> FailAdd;     // inputs AddTask refuses
  std::vector<std::string> FailOutput;  // inputs SetTaskOutput refuses
  std::string Throw;                    // an input whose output set-up raises
  std::string ThrowAdd;                 // an input whose adding raises
  bool ThrowStart = false;              // starting the tasks raises
  // The sizes of the files the tasks write, one a task in order, made as
  // its output is set up; none when empty.
  std::deque<int64_t> Writes;
  // The GiveUpAdd-th add (from 1) gives up opening its input, after
  // WhileAdding (a stop) has run; the ThrowOutput-th output set-up raises.
  int GiveUpAdd = 0, ThrowOutput = 0;
  std::function<void()> WhileAdding;
  // What the task of the N-th start (from 1) does once started.
  std::function<void(int Start)> OnStart;
  int Tasks = 0;
  int Adds = 0, OutputSetUps = 0, Starts = 0;

  void ClearTasks() override {
    Calls.push_back("clear");
    Tasks = 0;
  }
  int AddTask(const std::string &FileName, TInputOptions &Options) override {
    Calls.push_back("add " + FileName);
    LastFile = FileName;
    EXPECT_EQ(Options.FileName, FileName);
    EXPECT_EQ(Options.StartTime, 0);
    if (++Adds == GiveUpAdd) {
      if (WhileAdding) WhileAdding();
      return -1;
    }
    if (std::find(FailAdd.begin(), FailAdd.end(), FileName) != FailAdd.end()) return -1;
    if (FileName == ThrowAdd) throw std::runtime_error("add");
    Inputs.push_back(FileName);
    return Tasks++;
  }
  bool SetTaskOutput(int, const std::string &FileName, TOutputOptions &Options) override {
    if (Inputs.back() == Throw || ++OutputSetUps == ThrowOutput) throw std::runtime_error("set-up");
    Calls.push_back("output " + FileName);
    Outputs.push_back(Options);
    OutputNames.push_back(FileName);
    if (!Writes.empty()) {
      std::FILE *File = std::fopen(FileName.c_str(), "wb");
      EXPECT_TRUE(File != nullptr) << FileName;
      if (File) std::fclose(File);
      std::filesystem::resize_file(FileName, std::uintmax_t(Writes.front()));
      Writes.pop_front();
    }
    return std::find(FailOutput.begin(), FailOutput.end(), Inputs.back()) == FailOutput.end();
  }
  void RemoveTask(int) override {
    Calls.push_back("remove");
    --Tasks;
  }
  void StartTasks(int ParallelCount) override {
    EXPECT_EQ(ParallelCount, 1);
    if (ThrowStart) throw std::runtime_error("start");
    Calls.push_back("start " + std::to_string(Tasks));
    ++Starts;
    if (OnStart) OnStart(Starts);
  }
  void PauseAllTasks() override { Calls.push_back("pause"); }
  void ResumeAllTasks() override { Calls.push_back("resume"); }
  void StopAllTasks() override { Calls.push_back("stop"); }
  std::string LastError() const override { return "no good: " + LastFile; }
  std::string LastFile;  // of the last add
  std::vector<std::string> Started() const {
    std::vector<std::string> Rows;
    for (const std::string &Call : Calls)
      if (Call == "start 1") Rows.push_back(Inputs[Rows.size()]);
    return Rows;
  }
};

struct TRunUnderTest {
  TFakeWindow Window;
  TFakeEngine Engine;
  TConversionRun Run{Window, Engine};

  explicit TRunUnderTest(std::vector<TRow> Rows) { Window.Rows = std::move(Rows); }

  // The running task ends (its own event, then the list's), then the timer
  // ticks until the next row is set up or the run is over.
  void FinishTask(bool Exception = false) {
    Run.Terminate(0, {.Exception = Exception, .Message = {}});
    Run.Terminate(-1, {});
    Tick();
  }
  void Tick() {
    for (int I = 0; I < 5 && Window.TimerOn && !Run.Converting(); ++I) Run.TimerTick();
  }
  // Converts to the end: every task that starts runs to its end, the
  // N-th with Shortfalls[N] as its reason when there is one (it wrote
  // less than its source holds) and Notes[N] as what it left out.
  void RunToEnd(const std::vector<std::string> &Shortfalls = {}, const std::vector<std::string> &Notes = {}) {
    Run.ConvertClick(false);
    for (size_t Guard = 0, Ended = 0; Guard < 50 && Window.TimerOn; ++Guard) {
      if (!Run.Converting()) {
        Tick();
        continue;
      }
      Run.Terminate(0, {.Message = Ended < Shortfalls.size() ? Shortfalls[Ended] : "",
                        .Note = Ended < Notes.size() ? Notes[Ended] : ""});
      ++Ended;
      Run.Terminate(-1, {});
      Tick();
    }
  }
};

// Files as korvane-convert's probe would read them: each named file with
// the facts stated for it, as a window's row states them.
class TFakeProbe : public convert::TBatchProbe {
 public:
  std::map<std::string, TFileRowTexts> Facts;

  TMediaKind Read(const std::string &Path, bool, bool, TFileRowTexts &Row, std::string &) override {
    if (const auto Found = Facts.find(Path); Found != Facts.end()) Row = Found->second;
    return TMediaKind::Media;
  }
  TAVProbe &Probe() override { return FLibraries; }

 private:
  TAVProbe FLibraries;  // unused while the journal knows every output
};

// korvane-convert's batch of Files, named on its command line, on one job
// slot with Engine.
struct TBatchUnderTest {
  TFakeEngine Engine;
  TFakeProbe Probe;
  convert::TCommandLine Command;
  std::unique_ptr<convert::TBatchRunner> Runner;

  TBatchUnderTest() {
    Command.Jobs = 1;
    Command.LogLevel = 0;
  }
  // Converts every file with the profile Form; the exit status.
  int Run(const TProfileForm &Form, const std::vector<std::string> &Files) {
    std::vector<convert::TBatchEntry> Entries;
    for (const std::string &File : Files) Entries.emplace_back().Path = File;
    Runner = std::make_unique<convert::TBatchRunner>(Command, Form, Entries, Probe);
    Runner->AddSlot(Engine);
    return Runner->Run();
  }
};

inline std::vector<TRow> Rows(std::initializer_list<bool> Checks) {
  std::vector<TRow> Result;
  for (bool Checked : Checks)
    Result.emplace_back("/clips/" + std::to_string(Result.size()) + ".avi", "320x240", Checked);
  return Result;
}

// Chooses the modern H.264 profile with Bitrate as its video bit rate.
inline void AimAt(TFakeWindow &Window, const std::string &Bitrate) {
  Window.Profile.ComboOutputFormat.Select("MP4 - H.264 Video, AAC Audio (*.mp4)");
  ChangeOutputFormat(Window.Profile);
  Window.Profile.ComboVideoBitrate.Select(Bitrate);
}

}  // namespace korvane::test
