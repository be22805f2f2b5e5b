// SPDX-License-Identifier: GPL-3.0-or-later
// The outcome, pace and folder rules the window and korvane-convert share.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ConversionOutcome.h"
#include "TestEnvironment.h"

namespace korvane {
namespace {

// How an ended task counts, by what the engine said and whether the user
// stopped the run; and what a row of the window shows for it.
TEST(ConversionOutcome, TaskEnds) {
  struct TCase {
    TTaskEnd End;
    bool UserStopped;
    TOutcome Outcome;
    const char *Row;
  };
  const TCase Cases[] = {
      {{}, false, TOutcome::Done, "Done"},
      {{.Message = "only 2.2 s of 6.0 s could be read"}, false, TOutcome::Partial, "Partial"},
      {{.Exception = true, .Message = "Error while encoding"}, false, TOutcome::Failed, "Fail"},
      // The engine stopped the task before its end: never a success.
      {{.Finished = false, .Message = {}}, false, TOutcome::Stopped, "Abort"},
      {{.Finished = false, .Message = "only 1.0 s of 6.0 s"}, false, TOutcome::Stopped, "Abort"},
      // The user's stop reaches a task that had just finished.
      {{}, true, TOutcome::Stopped, "Abort"},
      {{.Message = "short"}, true, TOutcome::Stopped, "Abort"},
      // A failure stays a failure after a stop.
      {{.Finished = false, .Exception = true, .Message = "broken"}, true, TOutcome::Failed, "Fail"},
  };
  TOutcomeCounts Counts;
  for (const TCase &Case : Cases) {
    const TOutcome Outcome = OutcomeOf(Case.End, Case.UserStopped);
    EXPECT_EQ(Outcome, Case.Outcome) << Case.End.Message << " stopped by user " << Case.UserStopped;
    EXPECT_STREQ(RowOutcomeText(Outcome), Case.Row);
    Counts.Count(Outcome);
  }
  Counts.Count(TOutcome::Skipped, true);
  Counts.Count(TOutcome::Running);  // not an end: not counted
  EXPECT_EQ(Counts.Done, 1);
  EXPECT_EQ(Counts.Partial, 1);
  EXPECT_EQ(Counts.Failed, 2);
  EXPECT_EQ(Counts.Stopped, 4);
  EXPECT_EQ(Counts.NotMedia, 1);
  EXPECT_EQ(Counts.Ended(), 9);
}

// The pace in the status bar: times real time, and the time left.
TEST(ConversionOutcome, PaceTexts) {
  struct TCase {
    int64_t Done, Total;
    double Elapsed;
    std::string Pace;
  };
  const TCase Cases[] = {
      {23000, 60000, 10, "2.3x, 0:16 left"},
      {500, 60000, 0.5, ""},  // under a second of work tells nothing yet
      {0, 60000, 5, ""},
      {23000, 0, 10, "2.3x"},  // length unknown: no time left
      {1000, 7202000, 2, "0.5x, 4:00:02 left"},
      {123400, 200000, 10, "12x, 0:06 left"},
      {70000, 60000, 10, "7.0x, 0:00 left"},  // past the expected end
  };
  for (const TCase &Case : Cases)
    EXPECT_EQ(PaceText(MeasurePace(Case.Done, Case.Total, Case.Elapsed)), Case.Pace)
        << Case.Done << " of " << Case.Total;
  // Where the batch is: its files that convert, of how many, and its time left.
  struct TBatch {
    std::vector<int> Files;
    int Total;
    std::string Pace;
    int64_t Left;
    std::string Text;
  };
  const TBatch Batches[] = {
      {{3}, 12, "2.3x, 0:16 left", 310, "file 3 of 12, 2.3x, 0:16 left, batch 5:10 left"},
      {{3}, 12, "", -1, "file 3 of 12"},  // before a second of work tells
      {{3, 4}, 12, "4.1x, 0:16 left", 3725, "files 3, 4 of 12, 4.1x, 0:16 left, batch 1:02:05 left"},
      {{12}, 12, "2.3x, 0:16 left", -1, "file 12 of 12, 2.3x, 0:16 left"},
      {{}, 0, "", -1, ""},
  };
  for (const TBatch &B : Batches) EXPECT_EQ(BatchText(B.Files, B.Total, B.Pace, B.Left), B.Text);
  // The batch's time left: all that is left at the files' speed together.
  EXPECT_EQ(BatchSecondsLeft(20000, 40000, 2.0), 30);
  EXPECT_EQ(BatchSecondsLeft(-1, 40000, 2.0), -1);   // a file of unknown length runs
  EXPECT_EQ(BatchSecondsLeft(20000, -1, 2.0), -1);   // one to come has no known length
  EXPECT_EQ(BatchSecondsLeft(20000, 40000, 0), -1);  // no speed yet
}

// Whether a folder can take outputs, as both front ends check it before
// anything converts.
TEST(ConversionOutcome, OutputFolders) {
  const test::TTempDir Folder;
  const std::string File = Folder.Path() + "/a-file";
  std::ofstream(File) << "x";
  const std::string Locked = Folder.Path() + "/locked";
  std::filesystem::create_directory(Locked);
  std::filesystem::permissions(Locked,
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  struct TCase {
    std::string Path;
    TFolderState State;
  };
  std::vector<TCase> Cases = {
      {Folder.Path(), TFolderState::Usable},
      {Folder.Path() + "/", TFolderState::Usable},
      {Folder.Path() + "/gone", TFolderState::Missing},
      {File, TFolderState::Missing},  // a file is no folder
      {"", TFolderState::Missing},
  };
  // Root may write anywhere: a folder without the right to write is
  // read-only only for others.
  Cases.push_back({Locked, geteuid() == 0 ? TFolderState::Usable : TFolderState::ReadOnly});
  for (const TCase &Case : Cases) EXPECT_EQ(OutputFolderState(Case.Path), Case.State) << Case.Path;
  std::filesystem::permissions(Locked, std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace korvane
