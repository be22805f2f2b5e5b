// SPDX-License-Identifier: GPL-3.0-or-later
// One file's life as both front ends live it: the window's run and
// korvane-convert's batch convert a file through the component of
// RunFakes.h, and the file ends alike in both, its folder left alike.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "CompleteOutputs.h"
#include "RunFakes.h"
#include "TestEnvironment.h"

namespace korvane {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr int64_t MB = 1024 * 1024;
const std::string kCutShort = "only 2.2 s of 6.0 s could be read; the source is cut short";

// What a run of the file does: ends whole, short of its source, or with an
// error; is stopped while it runs, or right after it ended whole; or never
// starts, because its input gives up opening as the run stops, or its
// set-up raises.
enum class TStep { Done, Short, Fail, StopIn, StopAfter, AddGivesUp, SetUpRaises };
// What the output folder holds before: nothing; a complete output of the
// file, as the journal notes it; one a stop left, as noted; a file of
// someone else's in the output's place.
enum class TBefore { Nothing, Complete, Stopped, Theirs };

struct TCase {
  const char *Name;
  bool Sized;  // aimed at 10 MB, by runs of their own
  bool Skip;   // complete outputs are skipped
  TBefore Before;
  std::vector<TStep> Steps;     // of each run, in order
  std::vector<int64_t> Writes;  // what each run that sets its output up writes
  TOutcome Outcome;
  int Starts;                     // runs started
  std::vector<std::string> Left;  // the folder afterwards, but the journal: "NAME BYTES"
};

const std::string kSource = "in.avi " + std::to_string(50 * MB);
std::string Sized(const char *Name, double Bytes) {
  return std::string(Name) + " " + std::to_string(int64_t(Bytes));
}

using enum TStep;
// clang-format off
const TCase Cases[] = {
    // Name, sized, skip, before, steps, writes, outcome, runs started, left
    {"converted in one run", false, false, TBefore::Nothing, {Done}, {5 * MB}, TOutcome::Done, 1,
     {kSource, Sized("in.mp4", 5 * MB)}},
    {"cut short: kept, partial", false, false, TBefore::Nothing, {Short}, {5 * MB}, TOutcome::Partial, 1,
     {kSource, Sized("in.mp4", 5 * MB)}},
    {"fails", false, false, TBefore::Nothing, {Fail}, {}, TOutcome::Failed, 1,
     {kSource}},
    {"two passes", true, false, TBefore::Nothing, {Done, Done}, {MB, int64_t(9.8 * MB)}, TOutcome::Done, 2,
     {kSource, Sized("in.mp4", 9.8 * MB)}},
    {"over the target, coded again", true, false, TBefore::Nothing, {Done, Done, Done},
     {MB, 11 * MB, int64_t(9.8 * MB)}, TOutcome::Done, 3,
     {kSource, Sized("in.mp4", 9.8 * MB)}},
    {"a try cut short goes on through its passes, and ends partial", true, false, TBefore::Nothing, {Short, Short},
     {MB, int64_t(9.8 * MB)}, TOutcome::Partial, 2,
     {kSource, Sized("in.mp4", 9.8 * MB)}},
    {"fails in the second pass", true, false, TBefore::Nothing, {Done, Fail}, {MB, 5 * MB}, TOutcome::Failed, 2,
     {kSource}},
    {"stopped in the second pass", true, false, TBefore::Nothing, {Done, StopIn}, {MB, 5 * MB}, TOutcome::Stopped, 2,
     {kSource}},
    {"stopped between two passes", true, false, TBefore::Nothing, {StopAfter}, {MB}, TOutcome::Stopped, 1,
     {kSource}},
    {"the second pass's input gives up as the run stops", true, false, TBefore::Nothing, {Done, AddGivesUp}, {MB},
     TOutcome::Stopped, 1,
     {kSource}},
    {"the second pass's set-up raises", true, false, TBefore::Nothing, {Done, SetUpRaises}, {MB}, TOutcome::Failed, 1,
     {kSource}},
    {"a complete output is skipped", false, true, TBefore::Complete, {}, {}, TOutcome::Skipped, 0,
     {kSource, "in.mp4 5"}},
    {"an output a stop left is redone in its place", false, true, TBefore::Stopped, {Done}, {5 * MB},
     TOutcome::Done, 1,
     {kSource, Sized("in.mp4", 5 * MB)}},
    {"an output a stop left is redone in its place, through its passes", true, true, TBefore::Stopped, {Done, Done},
     {MB, int64_t(9.8 * MB)}, TOutcome::Done, 2,
     {kSource, Sized("in.mp4", 9.8 * MB)}},
    {"a file of someone else's in the output's place is kept", false, false, TBefore::Theirs, {Done}, {5 * MB},
     TOutcome::Done, 1,
     {Sized("in-1.mp4", 5 * MB), kSource, "in.mp4 6"}},
};
// clang-format on

// The output folder of a case before its run: the source and what the
// case says is there.
void Prepare(const TCase &Case, const std::string &Source, const std::string &Output) {
  std::fclose(std::fopen(Source.c_str(), "wb"));
  fs::resize_file(Source, 50 * MB);
  if (Case.Before == TBefore::Nothing) return;
  WriteFile(Output, Case.Before == TBefore::Complete  ? "whole"
                    : Case.Before == TBefore::Stopped ? "part"
                                                      : "theirs");
  TOutputJournal Journal(fs::path(Output).parent_path().string());
  if (Case.Before == TBefore::Complete) {
    ASSERT_TRUE(Journal.Record(Source, Output));
  } else if (Case.Before == TBefore::Stopped) {
    ASSERT_TRUE(Journal.Unfinished(Source, Output, TOutcome::Stopped));
  }
}

// The engine as the case has it: what the runs write, and the run whose
// input gives up or whose set-up raises.
void Script(const TCase &Case, TFakeEngine &Engine) {
  Engine.Writes.assign(Case.Writes.begin(), Case.Writes.end());
  for (size_t Run = 0; Run < Case.Steps.size(); ++Run) {
    if (Case.Steps[Run] == TStep::AddGivesUp) Engine.GiveUpAdd = int(Run) + 1;
    if (Case.Steps[Run] == TStep::SetUpRaises) Engine.ThrowOutput = int(Run) + 1;
  }
}

TTaskEnd EndOf(TStep Step) {
  if (Step == TStep::Short) return {.Message = kCutShort};
  if (Step == TStep::Fail) return {.Exception = true, .Message = "Error while encoding"};
  return {};
}

std::vector<std::string> Left(const std::string &Folder) {
  std::vector<std::string> Names;
  for (const auto &Entry : fs::directory_iterator(Folder))
    if (Entry.path().filename() != TOutputJournal::FolderName)
      Names.push_back(Entry.path().filename().string() + " " +
                      (Entry.is_regular_file() ? std::to_string(Entry.file_size()) : "folder"));
  std::sort(Names.begin(), Names.end());
  return Names;
}

// The window's row of the case's file, as its run sets it up.
void AsWindowRow(const TCase &Case, const std::string &Folder, TRunUnderTest &T) {
  T.Window.Rows[0].Duration = "00:01:00";
  T.Window.Rows[0].Details = {{TTrackInfo{}}, 60000};
  T.Window.Given.OutputFolder = Folder;
  T.Window.Given.SkipComplete = Case.Skip;
  if (Case.Sized) AimAt(T.Window, "File Size: 10 MB");
}

// A file's end and what its folder is left with, run by run: a target size
// reached in passes whose tries go, a stop in a run or between two, a
// complete output skipped and an unfinished one replaced in its place; the
// window's row says the outcome, korvane-convert's batch counts it.
TEST(FileJob, AFileEndsAlikeInTheWindowAndInKorvaneConvert) {
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    {
      SCOPED_TRACE("the window");
      const TTempDir Folder;
      const std::string Source = Folder.File("in.avi");
      Prepare(Case, Source, Folder.File("in.mp4"));
      TRunUnderTest T({TRow(Source, "320x240", true)});
      AsWindowRow(Case, Folder.Path(), T);
      Script(Case, T.Engine);
      T.Engine.WhileAdding = [&T] {
        T.Window.StopAnswers = {true};
        T.Run.StopClick();
      };
      T.Run.ConvertClick(false);
      for (int Guard = 0; Guard < 10 && T.Run.Converting(); ++Guard) {
        const TStep Step = Case.Steps.at(size_t(T.Engine.Starts - 1));
        T.Window.StopAnswers = {true};
        if (Step == TStep::StopIn) T.Run.StopClick();
        T.Run.Terminate(0, Step == TStep::StopIn ? TTaskEnd{.Finished = false, .Message = {}} : EndOf(Step));
        if (Step == TStep::StopAfter) T.Run.StopClick();
        T.Run.Terminate(-1, {});
      }
      T.Tick();
      EXPECT_EQ(T.Window.Rows[0].Progress, RowOutcomeText(Case.Outcome));
      EXPECT_EQ(T.Engine.Starts, Case.Starts);
      EXPECT_EQ(Left(Folder.Path()), Case.Left);
      EXPECT_FALSE(T.Run.Converting());
    }
    {
      SCOPED_TRACE("korvane-convert");
      const TTempDir Folder;
      const std::string Source = Folder.File("in.avi");
      Prepare(Case, Source, Folder.File("in.mp4"));
      // The facts the window's row gives its file.
      TRunUnderTest Row({TRow(Source, "320x240", true)});
      AsWindowRow(Case, Folder.Path(), Row);
      TBatchUnderTest B;
      B.Command.OutputFolder = Folder.Path();
      B.Command.SkipExisting = Case.Skip;
      B.Probe.Facts[Source] = Row.Run.RowTexts(0);
      Script(Case, B.Engine);
      B.Engine.WhileAdding = [&B] { B.Runner->Stop(SIGINT); };
      B.Engine.OnStart = [&B, &Case](int Start) {
        const TStep Step = Case.Steps.at(size_t(Start - 1));
        if (Step == TStep::StopIn) B.Runner->Stop(SIGINT);
        B.Runner->Terminate(0, 0,
                            Step == TStep::StopIn ? TTaskEnd{.Finished = false, .Message = {}} : EndOf(Step));
        if (Step == TStep::StopAfter) B.Runner->Stop(SIGINT);
      };
      B.Run(Row.Window.Profile, {Source});
      EXPECT_EQ(B.Runner->Outcome(0), Case.Outcome);
      EXPECT_EQ(B.Engine.Starts, Case.Starts);
      EXPECT_EQ(Left(Folder.Path()), Case.Left);
    }
  }
}

}  // namespace
}  // namespace korvane
