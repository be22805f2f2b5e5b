// SPDX-License-Identifier: GPL-3.0-or-later
// The conversion run without widgets, driven through the window and the
// component of RunFakes.h.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "ConversionRun.h"
#include "FailureReasons.h"
#include "RunFakes.h"
#include "TestEnvironment.h"

namespace korvane {
namespace {

using namespace test;

const std::string kCutShort = "only 2.2 s of 6.0 s could be read; the source is cut short";
const std::string kNoCover = "the cover was left out: Opus files cannot hold one";

// Which rows the queue converts, in order, and that every run ends with one
// message that says what happened, the same end in the status bar beside a
// full bar, and an unlocked window, whatever is checked. A file that ran to
// its end short of its source is "Partial", kept, and counted apart; what
// an output left out is said in its row's reason and log, and leaves it done.
TEST(ConversionRun, TheQueueWalksTheCheckedRowsInOrder) {
  struct TCase {
    std::vector<bool> Checked;
    std::vector<std::string> Converted;
    std::string Message = "All Conversions Completed";
    std::vector<std::string> Shortfalls = {};  // the reason each converted file ended with
    std::vector<std::string> Notes = {};       // what each converted file left out
  };
  const TCase Cases[] = {
      {{true, true, true}, {"/clips/0.avi", "/clips/1.avi", "/clips/2.avi"}},
      {{true, false, true}, {"/clips/0.avi", "/clips/2.avi"}},
      {{false, true, false}, {"/clips/1.avi"}},  // an unchecked last row is skipped
      {{false, false, false}, {}, "No file was converted: no row is checked."},
      {{true}, {"/clips/0.avi"}},
      {{true, true, true},
       {"/clips/0.avi", "/clips/1.avi", "/clips/2.avi"},
       "Conversions finished: 2 converted, 1 partial, 0 failed, 0 stopped.",
       {"", kCutShort, ""}},
      {{true},
       {"/clips/0.avi"},
       "Conversions finished: 0 converted, 1 partial, 0 failed, 0 stopped.",
       {kCutShort}},
      {{true, true}, {"/clips/0.avi", "/clips/1.avi"}, "All Conversions Completed", {}, {kNoCover, ""}},
      {{true},
       {"/clips/0.avi"},
       "Conversions finished: 0 converted, 1 partial, 0 failed, 0 stopped.",
       {kCutShort},
       {kNoCover}},
  };
  for (const TCase &Case : Cases) {
    std::vector<TRow> List;
    for (bool Checked : Case.Checked)
      List.emplace_back("/clips/" + std::to_string(List.size()) + ".avi", "320x240", Checked);
    TRunUnderTest T(List);
    T.RunToEnd(Case.Shortfalls, Case.Notes);
    EXPECT_EQ(T.Engine.Inputs, Case.Converted);
    EXPECT_EQ(T.Window.Messages, std::vector<std::string>{Case.Message});
    EXPECT_EQ(T.Window.EndOffersFolder, !Case.Converted.empty()) << "the output folder is offered";
    EXPECT_EQ(T.Window.Status, Case.Message);
    EXPECT_EQ(T.Window.Bar, Case.Converted.empty() ? 0 : 100);
    EXPECT_EQ(T.Window.StatusFile, "");
    EXPECT_EQ(T.Window.StatusPace, "");
    EXPECT_EQ(T.Window.Log, (std::vector<std::string>{"lock", "unlock"}));
    EXPECT_FALSE(T.Run.Converting());
    EXPECT_FALSE(T.Window.TimerOn);
    for (size_t I = 0, Tried = 0; I < List.size(); ++I) {
      const bool Short = List[I].Checked && Tried < Case.Shortfalls.size() && !Case.Shortfalls[Tried].empty();
      const bool Noted = List[I].Checked && Tried < Case.Notes.size() && !Case.Notes[Tried].empty();
      EXPECT_EQ(T.Window.Rows[I].Progress, !List[I].Checked ? "" : Short ? "Partial" : "Done");
      EXPECT_EQ(T.Window.Rows[I].Reason, Short && Noted ? kCutShort + "\n" + kNoCover
                                         : Short        ? kCutShort
                                         : Noted        ? kNoCover
                                                        : "");
      EXPECT_EQ(std::count(T.Window.Rows[I].Log.begin(), T.Window.Rows[I].Log.end(), "note: " + kNoCover),
                Noted);
      Tried += List[I].Checked;
    }
  }
}

// The next row starts on the second tick after the task's end.
TEST(ConversionRun, NextRowStartsOnTheSecondTick) {
  TRunUnderTest T(Rows({true, true}));
  T.Run.ConvertClick(false);
  EXPECT_TRUE(T.Run.Converting());
  T.Run.TimerTick();  // a tick while the task runs does nothing
  EXPECT_EQ(T.Engine.Inputs.size(), 1u);
  T.Run.Terminate(0, {});
  T.Run.Terminate(-1, {});
  T.Run.TimerTick();
  EXPECT_EQ(T.Engine.Inputs.size(), 1u);
  T.Run.TimerTick();
  EXPECT_EQ(T.Engine.Inputs.size(), 2u);
  EXPECT_EQ(T.Run.CurrentRow(), 1);
}

// A row unchecked while an earlier one converts is skipped; one checked
// then is taken.
TEST(ConversionRun, CheckBoxesCountWhenTheQueueReachesThem) {
  TRunUnderTest T(Rows({true, true, false}));
  T.Run.ConvertClick(false);
  T.Window.Rows[1].Checked = false;
  T.Window.Rows[2].Checked = true;
  T.FinishTask();
  T.FinishTask();
  T.Tick();
  EXPECT_EQ(T.Engine.Inputs, (std::vector<std::string>{"/clips/0.avi", "/clips/2.avi"}));
  EXPECT_EQ(T.Window.Messages, std::vector<std::string>{"All Conversions Completed"});
}

TEST(ConversionRun, OutcomeTextsOfTheRows) {
  TRunUnderTest T(Rows({true, true, true, true, true}));
  T.Engine.FailAdd = {"/clips/1.avi"};
  T.Engine.FailOutput = {"/clips/2.avi"};
  T.Run.ConvertClick(false);
  T.Run.Log(0, "a line of row 0");
  T.Run.Terminate(0, {.Exception = true,
                      .Message = "Output file does not contain any stream"});  // row 0 ends with an error
  T.Run.Terminate(-1, {});
  T.Tick();
  EXPECT_EQ(T.Window.Rows[0].Log, std::vector<std::string>{"a line of row 0"});
  T.Tick();  // row 1 cannot be added, row 2 gets no output: the timer moves on
  T.Tick();
  T.Tick();
  ASSERT_EQ(T.Run.CurrentRow(), 3);
  T.FinishTask(false);
  // The engine stopped the last task before its end: that is no success,
  // though nobody pressed a stop button.
  T.Run.Terminate(0, {.Finished = false, .Message = {}});
  T.Run.Terminate(-1, {});
  T.Tick();
  EXPECT_EQ(T.Window.Progress(), (std::vector<std::string>{"Fail", "Fail", "Fail", "Done", "Abort"}));
  EXPECT_NE(std::find(T.Engine.Calls.begin(), T.Engine.Calls.end(), "remove"), T.Engine.Calls.end());
  // Each failure says why: the task's reason (explained), or the engine's for
  // a set-up.
  std::vector<std::string> Reasons;
  for (const TRow &Row : T.Window.Rows) Reasons.push_back(Row.Reason);
  EXPECT_EQ(Reasons, (std::vector<std::string>{ExplainedFailure("Output file does not contain any stream"),
                                               "no good: /clips/1.avi", "no good: /clips/2.avi", "", ""}));
  EXPECT_NE(Reasons[0], "Output file does not contain any stream");
  EXPECT_EQ(T.Window.Messages,
            std::vector<std::string>{"Conversions finished: 1 converted, 3 failed, 1 stopped."});
}

// The engine's words stay first; what they mean follows, for those whose
// words alone do not tell a user what is wrong.
TEST(FailureReasons, EngineTextsGetTheirMeaning) {
  struct Row {
    std::string Engine, Added;  // Added: "" leaves the text as it is
  } Rows[] = {
      {"a.mp4: I/O error occurred\r\nUsually that means that input file is truncated and/or corrupted.",
       " The file ends before its own data does: it is cut short or damaged (an interrupted download or "
       "copy), not a fault of the disk. Copy or download it again."},
      {"a.mp4: Error while parsing header",
       ". The file is damaged or is not the kind of media file it appears to be."},
      {"Output file does not contain any stream",
       ". The source has nothing this format can hold: no sound that can be read for a sound-only format, "
       "or no picture or sound at all."},
      {"Cannot allocate temp picture, check pix fmt",
       ". The picture format of this file is not supported, or its video is damaged: the size and format of "
       "its pictures cannot be read."},
      {"Unsupported codec (id=0) for input stream #0.0",
       ". Stream 0 uses a codec the installed libraries cannot decode, or its header is damaged."},
      {"Error while opening codec for input stream #0.1",
       ". Stream 1 uses a codec the installed libraries cannot decode, or its settings are damaged."},
      {"av_interleaved_write_frame(): Error while opening file (No space left on device)",
       ". The disk of the output folder is full: free some space."},
      {"Syntax error in matrix \"0\" at coeff 0",
       ". A matrix option (intra_matrix, inter_matrix) takes 64 numbers from 1 to 255, separated by commas."},
      {"new_video_stream fail: Picture size 320x2147483886 (frame size and padding) is too large",
       ". The size and padding options ask for a picture larger than any format can hold."},
      {"Matroska cannot store the turn of input stream #0.0 (90 degrees clockwise): a copy would play on its "
       "side",
       ". Choose a profile that converts the picture, such as MKV every track or MP4 H.264: they turn it "
       "upright."},
      {"a.mp4: memory allocation error occurred",
       ". The file's header is damaged: it gives sizes no real file has, more than the memory there is."},
      {"Could not write header for output file #0: the mp4 format cannot hold the copy of output stream #0.0 "
       "(pcm_s16le) (Invalid argument)",
       ". The output format cannot take the streams as they are: a copy keeps each stream's codec, which "
       "this container cannot hold. Choose a profile that converts them, such as MKV every track."},
      // A stream the container refuses that is no copy is not blamed on a copy.
      {"Could not write header for output file #0: the mp4 format cannot take output stream #0.2 (png) under "
       "the tag hvc1 (Invalid data found when processing input)",
       ""},
      {"Could not write header for output file #0 (incorrect codec parameters ?): Invalid argument", ""},
      {"the picture of a.mp4 could not be decoded: Invalid data found when processing input", ""},
      {"a.mp4: Unknown format", ""},
  };
  for (const Row &R : Rows) EXPECT_EQ(ExplainedFailure(R.Engine), R.Engine + R.Added);
  // Of a file that is empty the engine knows only that its format is not
  // known; a file with content keeps the engine's explanation alone.
  const TTempDir Folder;
  WriteFile(Folder.File("empty.mkv"), "");
  WriteFile(Folder.File("text.mkv"), "text");
  struct FileRow {
    std::string File, Engine, Added;
  } FileRows[] = {
      {"empty.mkv", "Unknown format", ". The file is empty (0 bytes): there is nothing in it to convert."},
      {"text.mkv", "Unknown format", ""},
      {"text.mkv", "a.mp4: Error while parsing header",
       ". The file is damaged or is not the kind of media file it appears to be."},
      {"gone.mkv", "gone.mkv: no such file or directory", ""},
  };
  for (const FileRow &R : FileRows)
    EXPECT_EQ(ExplainedFailure(R.Engine, Folder.File(R.File)), R.Engine + R.Added) << R.File;
  // A line that names the file already drops the engine's leading name only.
  EXPECT_EQ(WithoutLeadingName("a.mp4: Error while parsing header", "a.mp4"), "Error while parsing header");
  EXPECT_EQ(WithoutLeadingName("the picture of a.mp4 could not be decoded", "a.mp4"),
            "the picture of a.mp4 could not be decoded");
}

// A last row that cannot be added ends the run at once.
TEST(ConversionRun, LastRowWithoutTaskEndsTheRunAtOnce) {
  TRunUnderTest T(Rows({true}));
  T.Engine.FailAdd = {"/clips/0.avi"};
  T.Run.ConvertClick(false);
  EXPECT_EQ(T.Window.Progress(), std::vector<std::string>{"Fail"});
  EXPECT_EQ(T.Window.Messages,
            std::vector<std::string>{"Conversions finished: 0 converted, 1 failed, 0 stopped."});
  EXPECT_FALSE(T.Run.Converting());
  EXPECT_FALSE(T.Window.TimerOn);
  EXPECT_EQ(T.Window.Log, (std::vector<std::string>{"lock", "unlock"}));
}

TEST(ConversionRun, ASetUpThatRaisesIsReportedAndTheRunGoesOn) {
  TRunUnderTest T(Rows({true, true}));
  T.Engine.Throw = "/clips/0.avi";
  T.Run.ConvertClick(false);
  EXPECT_EQ(T.Window.Messages, std::vector<std::string>{"Fail to add file to list!"});
  // The task was made, so it is started; it fails without an output.
  EXPECT_EQ(T.Engine.Calls.back(), "start 1");
  T.FinishTask(true);
  T.FinishTask(false);
  EXPECT_EQ(T.Window.Progress(), (std::vector<std::string>{"Fail", "Done"}));
}

// Every row tried ends with an outcome, also when its set-up raises before
// a task exists or starting the tasks raises; the run's last message counts.
TEST(ConversionRun, EveryRowTriedEndsWithAnOutcome) {
  struct TCase {
    std::string ThrowAdd;
    bool ThrowStart;
    std::vector<std::string> Progress, Messages;
  } Cases[] = {
      {"/clips/0.avi",
       false,
       {"Fail", "Done"},
       {"Fail to add file to list!", "Conversions finished: 1 converted, 1 failed, 0 stopped."}},
      {"", true, {"Fail", ""}, {"Conversions finished: 0 converted, 1 failed, 0 stopped."}},
  };
  for (const TCase &C : Cases) {
    TRunUnderTest T(Rows({true, true}));
    T.Engine.ThrowAdd = C.ThrowAdd;
    T.Engine.ThrowStart = C.ThrowStart;
    T.RunToEnd();
    EXPECT_EQ(T.Window.Progress(), C.Progress);
    EXPECT_EQ(T.Window.Messages, C.Messages);
    EXPECT_FALSE(T.Window.TimerOn);
    EXPECT_EQ(T.Window.Log, (std::vector<std::string>{"lock", "unlock"}));
  }
}

// The three checks before a run, with their exact texts; none starts it.
TEST(ConversionRun, ChecksBeforeTheRun) {
  const korvane::test::TTempDir Folder;
  struct TCase {
    std::vector<TRow> List;
    std::string OutputFolder;
    std::string Message;
    bool Browses;
  };
  // A folder no file can be made in (root may write anywhere, so it is
  // tried only without root's rights).
  const std::string Locked = Folder.Path() + "/locked";
  std::filesystem::create_directory(Locked);
  std::filesystem::permissions(Locked,
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  std::vector<TCase> Cases = {
      {{}, Folder.Path(), "Please Add Files To Convert!", false},
      {Rows({true}), "", "Please select an output folder!", true},
      {Rows({true}), Folder.Path() + "/gone",
       "The output folder \"" + Folder.Path() +
           "/gone\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new "
           "output folder.",
       true},
      {Rows({true}), "   ",
       "The output folder \"   \"\n\rdoes not exist or has been deleted!\n\rPlease choose a new "
       "output folder.",
       true},
  };
  if (geteuid() != 0)
    Cases.push_back({Rows({true}), Locked,
                     "The output folder \"" + Locked +
                         "\" cannot be written to.\nPlease choose an output folder you can write to.",
                     true});
  for (const TCase &Case : Cases) {
    TRunUnderTest T(Case.List);
    T.Window.Given.OutputFolder = Case.OutputFolder;
    T.Run.ConvertClick(false);
    EXPECT_EQ(T.Window.Messages, std::vector<std::string>{Case.Message});
    EXPECT_EQ(T.Window.Log, Case.Browses ? std::vector<std::string>{"browse"} : std::vector<std::string>{});
    EXPECT_TRUE(T.Engine.Calls.empty());
    EXPECT_FALSE(T.Run.Converting());
  }
  {
    // A target size a checked file cannot meet is refused before any work,
    // with each such file and why; files that fit, and unchecked ones, are
    // not named.
    TRunUnderTest Sized(Rows({true, true, false, true}));
    Sized.Window.Given.OutputFolder = Folder.Path();
    AimAt(Sized.Window, "File Size: 10 MB");
    for (TRow &Row : Sized.Window.Rows) {
      Row.Duration = "10:00:00";
      Row.Details.LengthMs = 36000000;
    }
    Sized.Window.Rows[0].Details.LengthMs = 60000;
    Sized.Window.Rows[3].Duration = "Unknown";
    Sized.Window.Rows[3].Details.LengthMs = -1;
    Sized.Run.ConvertClick(false);
    ASSERT_EQ(Sized.Window.Messages.size(), 1u);
    const std::string &Message = Sized.Window.Messages[0];
    EXPECT_EQ(Message.rfind(TConversionRun::SizeRefusedText, 0), 0u) << Message;
    EXPECT_NE(Message.find("\n/clips/1.avi: 10 MB is too small for "), std::string::npos) << Message;
    EXPECT_NE(Message.find("\n/clips/3.avi: its length is not known"), std::string::npos) << Message;
    for (const char *Fits : {"/clips/0.avi", "/clips/2.avi"})
      EXPECT_EQ(Message.find(Fits), std::string::npos) << Message;
    EXPECT_TRUE(Sized.Engine.Calls.empty());
    EXPECT_TRUE(Sized.Window.Log.empty());
    EXPECT_FALSE(Sized.Run.Converting());
  }
  // A folder with blanks around it is found, and outputs go into it.
  TRunUnderTest T(Rows({true}));
  T.Window.Given.OutputFolder = " " + Folder.Path() + " ";
  T.Run.ConvertClick(false);
  EXPECT_TRUE(T.Window.Messages.empty());
  ASSERT_EQ(T.Engine.OutputNames.size(), 1u);
  EXPECT_EQ(T.Engine.OutputNames[0], Folder.Path() + "/0.mp4");
}

// A row aimed at a size runs its passes one after another on its lane: the
// first keeps only statistics, the last try is moved to the output's name,
// and a try over the target is coded again. A row that fails or is stopped
// in any pass leaves no output and no folder of tries. The end says what
// the files weighed before and after.
TEST(ConversionRun, ARowAimedAtASizeRunsItsPasses) {
  constexpr int64_t MB = 1024 * 1024;
  struct TCase {
    const char *Name;
    std::vector<int64_t> Writes;  // by each run, in order
    int FailIn, StopIn;           // the run that fails, and the one during which the user stops
    std::string Outcome;
  };
  const TCase Cases[] = {
      {"two passes", {MB, int64_t(9.8 * MB)}, -1, -1, "Done"},
      {"over the target, coded again", {MB, 11 * MB, int64_t(9.8 * MB)}, -1, -1, "Done"},
      {"fails in the first pass", {MB}, 0, -1, "Fail"},
      {"stopped in the second pass", {MB, 5 * MB}, -1, 1, "Abort"},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const test::TTempDir Folder;
    const std::string Source = Folder.File("in.avi");
    std::fclose(std::fopen(Source.c_str(), "wb"));
    std::filesystem::resize_file(Source, 50 * MB);
    TRunUnderTest T({TRow(Source, "320x240", true)});
    T.Window.Rows[0].Duration = "00:01:00";
    T.Window.Rows[0].Details = {{TTrackInfo{}}, 60000};
    T.Window.Given.OutputFolder = Folder.Path();
    AimAt(T.Window, "File Size: 10 MB");
    T.Engine.Writes.assign(Case.Writes.begin(), Case.Writes.end());
    T.Run.ConvertClick(false);
    for (int Run = 0; T.Run.Converting() && Run < 10; ++Run) {
      if (Run == Case.StopIn) {
        T.Window.StopAnswers = {true};
        T.Run.StopClick();
      }
      T.Run.Terminate(
          0, {.Exception = Run == Case.FailIn, .Message = Run == Case.FailIn ? "Error while encoding" : ""});
      T.Run.Terminate(-1, {});
    }
    T.Tick();
    EXPECT_EQ(T.Window.Rows[0].Progress, Case.Outcome);
    ASSERT_EQ(T.Engine.Outputs.size(), Case.Writes.size());
    EXPECT_NE(T.Engine.Outputs[0].ExtOptions.find("pass=1\n"), std::string::npos);
    EXPECT_EQ(T.Engine.OutputNames[0].rfind(Folder.Path() + "/.korvane-size-", 0), 0u)
        << T.Engine.OutputNames[0];
    for (size_t Run = 1; Run < T.Engine.Outputs.size(); ++Run)
      EXPECT_NE(T.Engine.Outputs[Run].ExtOptions.find("pass=2\n"), std::string::npos);
    std::vector<std::string> Left;
    for (const auto &Entry : std::filesystem::directory_iterator(Folder.Path()))
      Left.push_back(Entry.path().filename().string());
    std::sort(Left.begin(), Left.end());
    const bool Done = Case.Outcome == "Done";
    const std::vector<std::string> Kept =
        Done ? std::vector<std::string>{"in.avi", "in.mp4"} : std::vector<std::string>{"in.avi"};
    EXPECT_EQ(Left, Kept);
    EXPECT_EQ(T.Window.Rows[0].Written, Done ? Case.Writes.back() : -1);
    EXPECT_EQ(T.Window.EndSizes, Done ? "1 file, 50 MB \u2192 9.8 MB (40 MB saved)" : "");
    if (Done) {
      EXPECT_EQ(std::filesystem::file_size(Folder.File("in.mp4")), std::uintmax_t(Case.Writes.back()));
    }
    EXPECT_FALSE(T.Run.Converting());
  }
}

TEST(ConversionRun, ConvertIsIgnoredWhileFilesAreAdded) {
  TRunUnderTest T(Rows({true}));
  T.Window.Rows[0].Progress = "Error";
  T.Run.ConvertClick(true);
  EXPECT_EQ(T.Window.Rows[0].Progress, "Error");
  EXPECT_TRUE(T.Engine.Calls.empty());
}

// What a progress event shows: percentage, frames, size and bar.
TEST(ConversionRun, ProgressTexts) {
  struct TCase {
    int Frame, Current, Total;
    int64_t Size;
    std::string Progress, Frames;
    int Bar;
  };
  const TCase Cases[] = {
      {10, 500, 2000, 4096, "25%", "10", 25},
      {0, 0, 2000, 0, "0%", "0", 0},
      {60, 2100, 2000, 99999, "100%", "60", 100},  // past the expected end
      {-1, 700, 1000, 1234, "70%", " ", 70},       // no video: no frame count
      {7, 700, 0, 50, "", "7", -1},                // length unknown: no percentage
      {7, 700, -5, 50, "", "7", -1},
      {1, 2000000000, 2000000001, 9, "99%", "1", 99},  // no overflow on long outputs
  };
  for (const TCase &Case : Cases) {
    TRunUnderTest T(Rows({true}));
    T.Run.ConvertClick(false);
    TProgressInfo Info;
    Info.FrameNumber = Case.Frame;
    Info.CurrentDuration = Case.Current;
    Info.TotalOutputDuration = Case.Total;
    Info.CurrentSize = Case.Size;
    T.Run.Progress(Info);
    EXPECT_EQ(T.Window.Rows[0].Progress, Case.Progress);
    EXPECT_EQ(T.Window.Rows[0].Frames, Case.Frames);
    EXPECT_EQ(T.Window.Bar, Case.Bar);
    EXPECT_EQ(T.Window.Status, "File Size : " + std::to_string(Case.Size) + " Bytes");
    EXPECT_EQ(T.Window.StatusFile, "0.avi");
  }
}

// Several files at once: each lane converts one row at a time, the next
// checked row goes to the lane that frees up, events reach the row of their
// own lane, the files share the cores, and a stop stops every lane.
TEST(ConversionRun, SeveralFilesAtOnce) {
  TRunUnderTest T(Rows({true, true, false, true, true, true}));
  TFakeEngine Second;
  T.Run.SetExtraEngines({&Second});
  T.Window.Given.FilesAtOnce = 2;
  T.Engine.FailAdd = {"/clips/4.avi"};
  T.Run.ConvertClick(false);
  EXPECT_EQ(T.Engine.Inputs, std::vector<std::string>{"/clips/0.avi"});
  EXPECT_EQ(Second.Inputs, std::vector<std::string>{"/clips/1.avi"});
  EXPECT_EQ(T.Run.LaneRow(1), 1);
  ASSERT_EQ(Second.Outputs.size(), 1u);
  EXPECT_GE(Second.Outputs[0].CodecThreads, 0);  // the files share the cores

  // The second lane ends first and takes the next checked row, 3. The
  // status counts the files of the batch and adds their sizes.
  T.Run.Progress({5, 0, 500, 0, 0, 100, 1000}, 1);
  EXPECT_EQ(T.Window.Rows[1].Progress, "50%");
  EXPECT_EQ(T.Window.Rows[0].Progress, "");
  T.Run.Progress({5, 0, 200, 0, 0, 250, 1000}, 0);
  EXPECT_EQ(T.Window.Status, "File Size : 350 Bytes (2 files)");
  EXPECT_EQ(T.Window.StatusPace, "files 1, 2 of 5");
  T.Run.Terminate(0, {}, 1);
  T.Run.Terminate(-1, {}, 1);
  T.Run.TimerTick();
  T.Run.TimerTick();
  EXPECT_EQ(Second.Inputs, (std::vector<std::string>{"/clips/1.avi", "/clips/3.avi"}));
  // The first lane's row 0 fails; row 4 cannot be read there, row 5 follows.
  T.Run.Terminate(0, {.Exception = true, .Message = "broken"}, 0);
  T.Run.Terminate(-1, {}, 0);
  T.Run.TimerTick();
  T.Run.TimerTick();
  T.Run.TimerTick();
  T.Run.TimerTick();
  EXPECT_EQ(T.Engine.Inputs, (std::vector<std::string>{"/clips/0.avi", "/clips/5.avi"}));
  EXPECT_EQ(T.Window.Progress(), (std::vector<std::string>{"Fail", "Done", "", "", "Fail", ""}));
  EXPECT_EQ(T.Window.Rows[0].Reason, "broken");

  // A stop stops both lanes; their late ends say "Abort".
  T.Window.StopAnswers = {true};
  T.Run.StopClick();
  EXPECT_NE(std::find(Second.Calls.begin(), Second.Calls.end(), "stop"), Second.Calls.end());
  EXPECT_EQ(T.Engine.Calls.back(), "stop");
  T.Run.Terminate(0, {}, 0);
  EXPECT_EQ(T.Window.Status, "Stopping...");  // till the last lane's task has ended
  T.Run.Terminate(0, {}, 1);
  EXPECT_EQ(T.Window.Status, "Conversions stopped");
  EXPECT_EQ(T.Window.Progress(), (std::vector<std::string>{"Fail", "Done", "", "Abort", "Fail", "Abort"}));
  EXPECT_EQ(T.Run.EndText(), "Conversions finished: 1 converted, 2 failed, 2 stopped.");
  EXPECT_FALSE(T.Run.Converting());
}

// Two files of one name side by side with "Overwrite" on do not write into
// one output: the second gets a name of its own.
TEST(ConversionRun, FilesAtOnceNeverShareAnOutput) {
  TRunUnderTest T({{"/a/clip.avi", "320x240", true}, {"/b/clip.avi", "320x240", true}});
  TFakeEngine Second;
  T.Run.SetExtraEngines({&Second});
  T.Window.Given.FilesAtOnce = 2;
  T.Window.Given.Overwrite = true;
  T.Run.ConvertClick(false);
  ASSERT_EQ(T.Engine.OutputNames.size(), 1u);
  ASSERT_EQ(Second.OutputNames.size(), 1u);
  EXPECT_EQ(T.Engine.OutputNames[0], "/tmp/clip.mp4");
  EXPECT_EQ(Second.OutputNames[0], "/tmp/clip-1.mp4");
}

// Stop pauses and asks: No resumes the task, Yes stops the run.
// Nothing new starts and the run does not end while the stop question is
// open, though the task may end then: after No the queue goes on, after
// Yes the run ends at once, with its message.
TEST(ConversionRun, TheStopQuestionHoldsTheQueue) {
  for (const bool Stop : {false, true}) {
    TRunUnderTest T(Rows({true, true}));
    T.Run.ConvertClick(false);
    T.Window.StopAnswers = {Stop};
    T.Window.WhileAsking = [&T] {
      T.Run.Terminate(0, {});
      T.Run.Terminate(-1, {});
      for (int I = 0; I < 3 && T.Window.TimerOn; ++I) T.Run.TimerTick();
    };
    T.Run.StopClick();
    EXPECT_EQ(T.Engine.Inputs.size(), 1u);
    const std::vector<std::string> Asked = {"Stop all conversions?"};
    const std::vector<std::string> Ended = {"Stop all conversions?", "All Conversions Completed"};
    EXPECT_EQ(T.Window.Messages, Stop ? Ended : Asked);
    EXPECT_EQ(T.Window.Progress(), (std::vector<std::string>{"Done", ""}));
    EXPECT_EQ(T.Window.TimerOn, !Stop);
    if (!Stop) {
      T.Tick();
      EXPECT_EQ(T.Engine.Inputs.size(), 2u);
    }
  }
}

// While a stopped task ends, its late events reach its own row, wherever
// removing rows moved it, or none once that row is gone; the end message
// counts it either way.
TEST(ConversionRun, LateEventsOfAStoppedTaskReachTheirOwnRow) {
  for (const int Removed : {0, 1, 2}) {
    TRunUnderTest T(Rows({true, true, true}));
    T.Run.ConvertClick(false);
    T.FinishTask();  // row 0 done; row 1 converts
    T.Window.StopAnswers = {true};
    T.Run.StopClick();
    T.Window.Rows.erase(T.Window.Rows.begin() + Removed);
    T.Run.RowRemoved(Removed);
    T.Run.Progress({10, 25, 1000, 2, 300, 4096, 2000});
    T.Run.Terminate(0, {});
    T.Run.Terminate(-1, {});
    const std::vector<std::vector<std::string>> Expected = {{"Abort", ""}, {"Done", ""}, {"Done", "Abort"}};
    EXPECT_EQ(T.Window.Progress(), Expected[Removed]) << "row " << Removed << " removed";
    EXPECT_EQ(T.Window.Messages.back(), "Conversions finished: 1 converted, 0 failed, 1 stopped.");
  }
}

TEST(ConversionRun, StopAsksAndStopsOnYes) {
  TRunUnderTest No(Rows({true, true}));
  No.Run.ConvertClick(false);
  No.Window.StopAnswers = {false};
  No.Run.StopClick();
  EXPECT_EQ(std::vector<std::string>(No.Engine.Calls.end() - 2, No.Engine.Calls.end()),
            (std::vector<std::string>{"pause", "resume"}));
  EXPECT_TRUE(No.Run.Converting());
  EXPECT_TRUE(No.Window.TimerOn);
  No.FinishTask();
  No.FinishTask();
  EXPECT_EQ(No.Window.Progress(), (std::vector<std::string>{"Done", "Done"}));

  TRunUnderTest Yes(Rows({true, true}));
  Yes.Run.ConvertClick(false);
  Yes.Window.StopAnswers = {true};
  Yes.Run.StopClick();
  EXPECT_EQ(std::vector<std::string>(Yes.Engine.Calls.end() - 2, Yes.Engine.Calls.end()),
            (std::vector<std::string>{"pause", "stop"}));
  // Until the stopped task has ended (its output so far complete) the
  // window stays locked and says so; a second stop or convert does nothing.
  EXPECT_TRUE(Yes.Run.Converting());
  EXPECT_FALSE(Yes.Window.TimerOn);
  EXPECT_EQ(Yes.Window.Log, (std::vector<std::string>{"lock"}));
  EXPECT_EQ(Yes.Window.Status, "Stopping...");
  EXPECT_EQ(Yes.Window.StatusFile, "0.avi");
  Yes.Run.StopClick();
  Yes.Run.ConvertClick(false);
  Yes.Run.TimerTick();
  Yes.Run.TimerTick();
  EXPECT_EQ(Yes.Engine.Inputs.size(), 1u);
  Yes.Run.Progress({10, 25, 1000, 2, 300, 4096, 2000});
  EXPECT_EQ(Yes.Window.Progress(), (std::vector<std::string>{"50%", ""}));
  EXPECT_EQ(Yes.Window.Status, "Stopping...") << "late progress keeps the stop";
  EXPECT_EQ(Yes.Window.Messages, std::vector<std::string>{"Stop all conversions?"});
  // A stopped task's output falls short of its source too: it reads "Abort".
  Yes.Run.Terminate(0, {.Message = kCutShort});
  EXPECT_FALSE(Yes.Run.Converting());
  EXPECT_EQ(Yes.Window.Log, (std::vector<std::string>{"lock", "unlock"}));
  EXPECT_EQ(Yes.Window.Progress(), (std::vector<std::string>{"Abort", ""}));
  Yes.Run.Terminate(-1, {});
  Yes.Run.Progress({10, 25, 1000, 2, 300, 4096, 2000});
  EXPECT_EQ(Yes.Window.Status, "Conversions stopped") << "late progress keeps the end";
  EXPECT_EQ(Yes.Window.StatusFile, "");
  EXPECT_EQ(Yes.Window.Bar, 0);
  EXPECT_EQ(Yes.Window.Messages,
            (std::vector<std::string>{"Stop all conversions?",
                                      "Conversions finished: 0 converted, 0 failed, 1 stopped."}));
  EXPECT_EQ(Yes.Engine.Calls.back(), "clear");
  // A stop button while no run is on asks nothing and changes nothing.
  TRunUnderTest Idle(Rows({true}));
  Idle.Run.StopClick();
  EXPECT_TRUE(Idle.Window.Messages.empty());
  EXPECT_EQ(Idle.Engine.Calls, std::vector<std::string>{"stop"});
}

// A row left incomplete, stopped or partial (its source cut short), is
// noted in the output folder's journal whether or not the run skips
// complete outputs, also when the row is removed while its stopped task
// ends: a later run that skips them converts it again under its own name,
// and meanwhile it does not wear its source's date (which the engine gives
// an output it closes).
TEST(ConversionRun, AnOutputLeftIncompleteIsRedoneInItsPlace) {
  const struct {
    const char *Name;
    bool Stop;
    std::string Shortfall, Shown;
    bool Removed = false;  // the row, while its stopped task ends
  } Cases[] = {
      {"stopped", true, "", "Abort"},
      {"partial", false, kCutShort, "Partial"},
      {"stopped, its row removed", true, "", "", true},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TTempDir Folder;
    const std::string Source = Folder.File("in.avi"), Output = Folder.File("in.mp4");
    WriteFile(Source, "source");
    const auto Shot = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    TRunUnderTest T({TRow(Source, "320x240", true)});
    T.Window.Given.OutputFolder = Folder.Path();
    T.Engine.Writes = {1000};
    T.Run.ConvertClick(false);
    ASSERT_EQ(T.Engine.OutputNames, std::vector<std::string>{Output});
    std::filesystem::last_write_time(Output, Shot);  // as the engine keeps the source's date
    if (Case.Stop) {
      T.Window.StopAnswers = {true};
      T.Run.StopClick();
    }
    const std::vector<TRow> Listed = T.Window.Rows;
    if (Case.Removed) {
      T.Window.Rows.clear();
      T.Run.RowRemoved(-1);
    }
    T.Run.Terminate(0, {.Message = Case.Shortfall});
    T.Run.Terminate(-1, {});
    T.Tick();
    if (!Case.Removed) {
      EXPECT_EQ(T.Window.Rows[0].Progress, Case.Shown);
    }
    EXPECT_NE(std::filesystem::last_write_time(Output), Shot);
    T.Window.Rows = Listed;
    T.Window.Given.SkipComplete = true;
    T.Engine.OutputNames.clear();
    T.Run.ConvertClick(false);
    EXPECT_EQ(T.Engine.OutputNames, std::vector<std::string>{Output});
  }
}

// What the run hands the component for a row: volume, aspect and name.
TEST(ConversionRun, RowOutputOptions) {
  TRunUnderTest T({TRow("/clips/song.mp3", " ", true), TRow("/clips/wide.avi", "1280x720", true)});
  T.Window.Given.VolumePosition = 10;
  T.RunToEnd();
  ASSERT_EQ(T.Engine.Outputs.size(), 2u);
  EXPECT_EQ(T.Engine.Outputs[0].AudioVolume, 600);
  EXPECT_EQ(T.Engine.Outputs[0].FrameAspectRatio, "1.3333");  // no picture: the fallback
  EXPECT_EQ(T.Engine.Outputs[1].FrameAspectRatio, "1.7778");
  EXPECT_EQ(T.Engine.OutputNames[0], "/tmp/song.mp4");
  EXPECT_EQ(T.Engine.Outputs[1].PadTop, -1);  // "None": no letterbox
  T.Window.Profile.ComboAspectRatio.ItemIndex = 2;
  T.Window.Given.LetterBox = true;
  T.Window.Profile.ComboVideoSize.Select("640 x 480");
  T.RunToEnd();
  ASSERT_EQ(T.Engine.Outputs.size(), 4u);
  EXPECT_EQ(T.Engine.Outputs[3].FrameAspectRatio, "16:9");
  EXPECT_EQ(T.Engine.Outputs[3].FrameSize, "640x480");  // 16:9 in a 16:9 frame: no bars
  EXPECT_EQ(T.Engine.Outputs[3].PadTop, 0);
  // "Original" keeps the shown shape of non-square pixels, not that of the size text.
  TRunUnderTest Wide({TRow("/clips/pal-wide.mpg", "720x576", true)});
  Wide.Window.Rows[0].Picture.DisplayAspect = 16.0 / 9;
  Wide.RunToEnd();
  ASSERT_EQ(Wide.Engine.Outputs.size(), 1u);
  EXPECT_EQ(Wide.Engine.Outputs[0].FrameAspectRatio, "1.7778");
  // A picture shown turned keeps its shape in the profile's frame, letterbox chosen or not.
  TRunUnderTest Phone({TRow("/clips/phone.mp4", "720x1280", true)});
  Phone.Window.Rows[0].Picture.Rotation = 90;
  Phone.Window.Profile.ComboVideoSize.Select("640 x 480");
  Phone.RunToEnd();
  ASSERT_EQ(Phone.Engine.Outputs.size(), 1u);
  EXPECT_EQ(Phone.Engine.Outputs[0].FrameSize, "270x480");
  EXPECT_EQ(Phone.Engine.Outputs[0].PadLeft, 184);
}

}  // namespace
}  // namespace korvane
