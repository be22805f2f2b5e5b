// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert over batches: folders walked, lists and their shares,
// files named twice, resuming with --skip-existing, and --json.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>

#include "CommandRun.h"
#include "MediaCheck.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

// A folder's tree: media found by content whatever the name, the rest
// counted as not media, a link loop and a folder that cannot be read named
// and passed over, and the tree mirrored below the output folder (--flat:
// all in it, names made unique).
TEST_F(ConvertCommand, FoldersAreWalkedAndTheirTreeMirrored) {
  const std::string Src = Temp.File("src");
  fs::create_directories(Src + "/2024/june");
  fs::copy_file(Clips.VideoOnly, Src + "/2024/june/clip.mp4");
  fs::copy_file(Clips.VideoOnly, Src + "/2024/clip.avi");
  fs::copy_file(Clips.VideoAudio, Src + "/holiday");  // no extension: its content says media
  WriteFile(Src + "/notes.txt", "not a film\n");
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i testsrc=size=64x48 -frames:v 1 " + Quoted(Src + "/photo.jpg")));
  fs::create_directory_symlink("..", Src + "/2024/loop");
  // A folder this program cannot read, even as root (without the right to
  // pass over permissions).
  fs::create_directories(Src + "/locked");
  fs::copy_file(Clips.VideoOnly, Src + "/locked/hidden.avi");
  fs::permissions(Src + "/locked", fs::perms::none);
  std::string Prefix;
  if (geteuid() == 0) Prefix = "setpriv --bounding-set=-dac_override,-dac_read_search ";
  const bool Locked = RunCommand(Prefix + "ls " + Quoted(Src + "/locked") + " >/dev/null 2>&1").Status != 0;
  if (!Locked) std::printf("the folder cannot be made unreadable here: its rows are not checked\n");
  const std::string Out = Temp.File("out"), Flat = Temp.File("flat");
  fs::create_directories(Out);
  fs::create_directories(Flat);

  const TCommandResult R =
      RunCommand(Prefix + Program() + " -p 3 -o " + Quoted(Out) + " " + Quoted(Src), true);
  fs::permissions(Src + "/locked", fs::perms::owner_all);
  EXPECT_EQ(R.Status, 0) << R.Output;
  for (const std::string &Line :
       {"done     " + Src + "/2024/clip.avi -> " + Out + "/2024/clip.avi\n",
        "done     " + Src + "/2024/june/clip.mp4 -> " + Out + "/2024/june/clip.avi\n",
        "done     " + Src + "/holiday -> " + Out + "/holiday.avi\n",
        "skipped  " + Src + "/2024/loop: a link loop: it leads back to " + Src + "\n",
        "skipped  " + Src + "/notes.txt: not media: content of no known format\n",
        "skipped  " + Src + "/photo.jpg: not media: a still picture\n",
        std::string(Locked ? "3 done, 0 failed, 0 stopped, 4 skipped (2 not media)\n"
                           : "4 done, 0 failed, 0 stopped, 3 skipped (2 not media)\n")})
    EXPECT_NE(R.Output.find(Line), std::string::npos) << Line << R.Output;
  if (Locked) {
    EXPECT_NE(R.Output.find("skipped  " + Src + "/locked: cannot read the folder: Permission denied\n"),
              std::string::npos);
  }
  EXPECT_EQ(Number(ProbeFile(Out + "/2024/june/clip.avi", true).Stream("video"), "nb_read_frames"), 30);
  EXPECT_FALSE(fs::exists(Out + "/notes.avi"));

  const TCommandResult F = Convert("-p 3 --flat -o " + Quoted(Flat) + " " + Quoted(Src + "/2024"));
  EXPECT_EQ(F.Status, 0) << F.Output;
  EXPECT_NE(F.Output.find("done     " + Src + "/2024/clip.avi -> " + Flat + "/clip.avi\n"), std::string::npos)
      << F.Output;
  EXPECT_NE(F.Output.find("done     " + Src + "/2024/june/clip.mp4 -> " + Flat + "/clip-1.avi\n"),
            std::string::npos);
}

// --skip-existing after a stop, whether the stopped run skipped or not:
// the output the stop left is converted again under its own name, the
// complete one is not; a run after that converts nothing. The stopped
// output never wears its source's date, which would make it look finished
// long ago. A partial output (its source cut short) is never complete, and
// a file of someone else's in an output's place is left alone.
TEST_F(ConvertCommand, SkipExistingRedoesWhatAStopLeftUnfinished) {
  const std::string Src = Temp.File("src");
  fs::create_directories(Src);
  fs::copy_file(Clips.LongHD, Src + "/a-long.avi");
  const auto Shot = fs::last_write_time(Src + "/a-long.avi") - std::chrono::hours(24 * 400);
  fs::last_write_time(Src + "/a-long.avi", Shot);
  fs::create_hard_link(Clips.VideoOnly, Src + "/b-short.avi");
  std::string Out, Batch;
  for (const char *Stopped : {"--skip-existing", ""}) {
    SCOPED_TRACE(Stopped);
    Out = Temp.File(std::string("out") + Stopped);
    fs::create_directories(Out);
    Batch = "-p 3 --jobs 1 --skip-existing -o " + Quoted(Out) + " " + Quoted(Src);
    EXPECT_EQ(
        StopWithSignal("-p 3 --jobs 1 " + std::string(Stopped) + " -o " + Quoted(Out) + " " + Quoted(Src),
                       Temp.File("stderr.txt"), Out + "/a-long.avi", SIGINT),
        130);
    EXPECT_NE(fs::last_write_time(Out + "/a-long.avi"), Shot);

    const TCommandResult Again = Convert(Batch);
    EXPECT_EQ(Again.Status, 0) << Again.Output;
    EXPECT_NE(Again.Output.find("done     " + Src + "/a-long.avi -> " + Out + "/a-long.avi\n"),
              std::string::npos)
        << Again.Output;
    EXPECT_NE(Again.Output.find("done     " + Src + "/b-short.avi -> " + Out + "/b-short.avi\n"),
              std::string::npos);
    EXPECT_NEAR(Number(ProbeFile(Out + "/a-long.avi", true).Stream("video"), "nb_read_frames"), 750, 2);
    EXPECT_EQ(fs::last_write_time(Out + "/a-long.avi"), Shot);
    EXPECT_FALSE(fs::exists(Out + "/a-long-1.avi"));
  }

  const TCommandResult Third = Convert(Batch);
  EXPECT_EQ(Third.Status, 0) << Third.Output;
  EXPECT_NE(
      Third.Output.find("skipped  " + Src + "/a-long.avi -> " + Out + "/a-long.avi: converted already\n"),
      std::string::npos)
      << Third.Output;
  EXPECT_NE(Third.Output.find("0 done, 0 failed, 0 stopped, 2 skipped\n"), std::string::npos);

  // Outputs made without a journal are complete by their length; a file of
  // an output's name that is not whole is someone else's and stays; a
  // partial output is converted again every time.
  const std::string Plain = Temp.File("plain");
  fs::create_directories(Plain);
  ASSERT_EQ(Convert("-p 3 -o " + Quoted(Plain) + " " + Quoted(Src + "/b-short.avi")).Status, 0);
  WriteFile(Plain + "/video-audio.avi", "someone else's file");
  const std::string Six = Temp.File("six.mp4"), Cut = Temp.File("cut.mp4");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=6 -f lavfi -i sine=duration=6 "
                "-c:v mpeg4 -c:a aac -movflags +faststart " +
                Quoted(Six)));
  WriteFile(Cut, ReadFile(Six).substr(0, fs::file_size(Six) * 4 / 10));
  WriteFile(Temp.File("list"), Src + "/b-short.avi\n" + Clips.VideoAudio + "\n" + Cut + "\n");
  for (int Run = 0; Run < 2; ++Run) {
    SCOPED_TRACE(Run);
    const TCommandResult R =
        Convert("-p 3 --skip-existing -o " + Quoted(Plain) + " --file-list " + Quoted(Temp.File("list")));
    EXPECT_EQ(R.Status, 1) << R.Output;
    for (const std::string &Line :
         {"skipped  " + Src + "/b-short.avi -> " + Plain + "/b-short.avi: converted already\n",
          "partial  " + Cut + " -> " + Plain + "/cut.avi: only ",
          (Run == 0 ? "done     " + Clips.VideoAudio + " -> " + Plain + "/video-audio-1.avi\n"
                    : "skipped  " + Clips.VideoAudio + " -> " + Plain +
                          "/video-audio-1.avi: converted already\n")})
      EXPECT_NE(R.Output.find(Line), std::string::npos) << Line << R.Output;
  }
  EXPECT_EQ(ReadFile(Plain + "/video-audio.avi"), "someone else's file");
}

// --json: every line an object Python's json module reads, names that are
// not UTF-8 kept byte for byte, and the summary last, after SIGTERM too.
TEST_F(ConvertCommand, JsonEventsAreOneObjectALineAndEndWithTheSummary) {
  const std::string Src = Temp.File("src"), Out = Temp.File("out");
  fs::create_directories(Src);
  fs::create_directories(Out);
  const std::string Odd = Src + "/caf\xe9 \"clip\".avi";  // Latin-1, not UTF-8
  fs::copy_file(Clips.VideoOnly, Odd);
  WriteFile(Src + "/notes.txt", "text");
  const std::string Events = Temp.File("events.json");
  const TCommandResult R = RunCommand(Program() + " --json -p 3 -o " + Quoted(Out) + " " + Quoted(Src) + " " +
                                          Quoted(Temp.File("gone.avi")) + " >" + Quoted(Events),
                                      false);
  EXPECT_EQ(R.Status, 1);
  auto Lines = JsonEvents(Events);
  // A short file may show its progress or not.
  std::erase_if(Lines, [](const auto &E) { return E.at("event") == "progress"; });
  ASSERT_EQ(Lines.size(), 5u) << ReadFile(Events);
  EXPECT_EQ(Lines[0].at("event"), "start");
  EXPECT_EQ(Lines[0].at("file"), Odd);
  EXPECT_EQ(Lines[0].at("output"), Out + "/caf\xe9 \"clip\".avi");
  EXPECT_EQ(Lines[0].at("profile"), "AVI - Audio Video Interleave (*.avi)");
  const std::map<std::string, std::string> Ends = Outcomes(Lines);
  EXPECT_EQ(Ends, (std::map<std::string, std::string>{
                      {Odd, "done"}, {Src + "/notes.txt", "skipped"}, {Temp.File("gone.avi"), "failed"}}));
  for (const auto &E : Lines)
    if (E.at("event") == "end" && E.at("outcome") == "done") {
      EXPECT_EQ(E.at("bytes"), std::to_string(fs::file_size(Out + "/caf\xe9 \"clip\".avi")));
    }
  EXPECT_EQ(Lines.back(), (std::map<std::string, std::string>{{"event", "summary"},
                                                              {"files", "3"},
                                                              {"done", "1"},
                                                              {"partial", "0"},
                                                              {"failed", "1"},
                                                              {"stopped", "0"},
                                                              {"skipped", "1"},
                                                              {"not_media", "1"},
                                                              {"exit_status", "1"}}));

  // Stopped by SIGTERM: progress at most twice a second, the stopped file's
  // end, and the summary last.
  const std::string Stopped = Temp.File("stopped.json");
  EXPECT_EQ(StopWithSignal("--json -p 3 -o " + Quoted(Out) + " " + Quoted(Clips.LongHD),
                           Temp.File("stderr.txt"), Out + "/long-hd.avi", SIGTERM, {}, Stopped),
            143);
  const auto Stop = JsonEvents(Stopped);
  ASSERT_GE(Stop.size(), 3u) << ReadFile(Stopped);
  EXPECT_EQ(Stop.front().at("event"), "start");
  const auto &End = Stop[Stop.size() - 2];
  EXPECT_EQ(End.at("event"), "end");
  EXPECT_EQ(End.at("outcome"), "stopped");
  EXPECT_EQ(End.at("output"), Out + "/long-hd.avi");
  const int Progress = static_cast<int>(
      std::count_if(Stop.begin(), Stop.end(), [](const auto &E) { return E.at("event") == "progress"; }));
  EXPECT_LE(Progress, 2 * std::stod(End.at("seconds")) + 2);
  EXPECT_EQ(Stop.back().at("event"), "summary");
  EXPECT_EQ(Stop.back().at("stopped"), "1");
  EXPECT_EQ(Stop.back().at("exit_status"), "143");
}

// --json with every request: each line on standard output is an object,
// and the summary with the exit status comes last, after a usage error
// too.
TEST_F(ConvertCommand, EveryRequestUnderJsonWritesObjectsToTheSummary) {
  const std::string Out = Quoted(Temp.Path());
  const std::string File = Quoted(Clips.VideoAudio);
  const struct {
    std::string Arguments;
    int Status;
    std::string Event, Field, Value;  // an event there is, and a text one of its fields holds
  } Rows[] = {
      {"--list-profiles", 0, "profile", "name", "3GP - Mobile Video Format (*.3gp)"},
      {"--show-profile 0", 0, "choice", "default", "176 x 144 (QCIF)"},
      {"--info " + File + " " + Quoted(Temp.File("gone.avi")), 1, "stream", "codec", "aac"},
      {"-p 63 --estimate " + File + " " + Quoted(Clips.Empty), 1, "estimate", "reason", "The file is empty"},
      {"-p 63 --estimate --target-size 900G " + File, 0, "estimate", "note",
       "the profile's quality step needs less than 900 GB"},
      {"-p 3 -o " + Out + " --preview 1 " + File, 0, "end", "outcome", "done"},
      {"--bogus", 2, "error", "message", "unknown option --bogus"},
      {"-p 63 -o " + Out + " --audio-tracks 3 " + File, 2, "error", "message", "There is no audio track 3"},
      {"-p 63 -o " + Out + " --target-size 99999999999G " + File, 2, "error", "message",
       "is more than any file can hold"},
  };
  for (const auto &R : Rows) {
    SCOPED_TRACE(R.Arguments);
    const std::string Events = Temp.File("events.json");
    const TCommandResult Result =
        RunCommand(Program() + " --json " + R.Arguments + " >" + Quoted(Events), false);
    EXPECT_EQ(Result.Status, R.Status) << Result.Output;
    const auto Lines = JsonEvents(Events);
    ASSERT_FALSE(Lines.empty()) << ReadFile(Events);
    EXPECT_EQ(Lines.back().at("event"), "summary");
    EXPECT_EQ(Lines.back().at("exit_status"), std::to_string(R.Status));
    EXPECT_TRUE(std::any_of(Lines.begin(), Lines.end(), [&](const auto &E) {
      return E.at("event") == R.Event && E.count(R.Field) && E.at(R.Field).find(R.Value) != std::string::npos;
    })) << ReadFile(Events);
    fs::remove(Events);
  }
}

// A file named more than once, by a list's lines (a relative line counts
// from the list's folder), directly and through its folder, is converted
// once.
TEST_F(ConvertCommand, AFileNamedAgainIsConvertedOnce) {
  const std::string Src = Temp.File("src"), Lists = Temp.File("lists");
  fs::create_directories(Src);
  fs::create_directories(Lists);
  const std::string Clip = Src + "/clip.wav";
  fs::create_hard_link(Clips.NarrowBand, Clip);
  const struct {
    std::string Name, List, Arguments;
  } Rows[] = {
      {"four times in a list", Clip + "\n" + Clip + "\n" + Clip + "\n" + Clip + "\n", ""},
      {"relative and absolute", "../src/clip.wav\n" + Clip + "\n", ""},
      {"directly and through its folder", "", Quoted(Clip) + " " + Quoted(Src)},
  };
  for (size_t I = 0; I < std::size(Rows); ++I) {
    const auto &R = Rows[I];
    SCOPED_TRACE(R.Name);
    const std::string Out = Temp.File("out-" + std::to_string(I)),
                      List = Lists + "/list-" + std::to_string(I);
    fs::create_directories(Out);
    WriteFile(List, R.List);
    const TCommandResult Result =
        Convert("-p 23 -o " + Quoted(Out) + " --file-list " + Quoted(List) + " " + R.Arguments);
    EXPECT_EQ(Result.Status, 0) << Result.Output;
    EXPECT_NE(Result.Output.find("1 done, 0 failed"), std::string::npos) << Result.Output;
    EXPECT_EQ(std::distance(fs::directory_iterator(Out), fs::directory_iterator()), 1);
  }
}

// --shard K/N over one list: every entry converted or reported by exactly
// one share, outputs named alike whichever share writes them; blank lines
// passed over, a missing file and a 10 MB line reported each.
TEST_F(ConvertCommand, SharesOfAListCoverItOnce) {
  const std::string Out = Temp.File("out");
  fs::create_directories(Out);
  fs::create_directories(Temp.File("a"));
  fs::create_directories(Temp.File("b"));
  std::string List;
  for (int I = 0; I < 4; ++I) {
    const std::string Name = Temp.File("f" + std::to_string(I) + ".wav");
    fs::create_hard_link(Clips.NarrowBand, Name);
    List += Name + "\n";
  }
  fs::create_hard_link(Clips.NarrowBand, Temp.File("a/clip.wav"));
  fs::create_hard_link(Clips.NarrowBand, Temp.File("b/clip.wav"));
  List += "\n" + Temp.File("b/clip.wav") + "\n\r\n" + Temp.File("missing.wav") + "\n" +
          std::string(10 << 20, 'x') + "\n" + Temp.File("a/clip.wav") + "\n";
  WriteFile(Temp.File("list"), List);
  std::map<std::string, int> Seen;
  for (int K = 1; K <= 3; ++K) {
    const std::string Source = K == 2 ? "- <" + Quoted(Temp.File("list")) : Quoted(Temp.File("list"));
    const TCommandResult R =
        Convert("-p 23 --shard " + std::to_string(K) + "/3 -o " + Quoted(Out) + " --file-list " + Source);
    std::istringstream In(R.Output);
    for (std::string Line; std::getline(In, Line);)
      if (Line.rfind("done ", 0) == 0 || Line.rfind("failed ", 0) == 0) ++Seen[Line];
  }
  EXPECT_EQ(Seen.size(), 8u);
  for (const auto &[Line, Count] : Seen) EXPECT_EQ(Count, 1) << Line;
  EXPECT_EQ(Seen.count("failed   " + Temp.File("missing.wav") + ": no such file or directory"), 1u);
  EXPECT_EQ(Seen.count("failed   " + std::string(80, 'x') +
                       "...: a line of 10485760 bytes, longer than any file name can be"),
            1u);
  // The later of the two clips of one name gets "-1", whichever share
  // converts it.
  EXPECT_EQ(Seen.count("done     " + Temp.File("b/clip.wav") + " -> " + Out + "/clip.mp3"), 1u);
  EXPECT_TRUE(fs::exists(Out + "/clip.mp3"));
  EXPECT_TRUE(fs::exists(Out + "/clip-1.mp3"));
  EXPECT_EQ(std::distance(fs::directory_iterator(Out), fs::directory_iterator()), 6);
}

}  // namespace
}  // namespace korvane::test
