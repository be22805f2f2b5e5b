// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert as a user runs it: the listings, usage errors, file
// information, output names, failures, Ctrl-C and several jobs at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "MediaCheck.h"
#include "MediaFixtures.h"
#include "SizeTarget.h"
#include "TestEnvironment.h"

extern char **environ;

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

std::string Program() { return "'" + ExecutableDirectory() + "/korvane-convert'"; }

// Runs the program with Arguments; standard output and error together.
TCommandResult Convert(const std::string &Arguments) { return RunCommand(Program() + " " + Arguments, true); }

class ConvertCommand : public ::testing::Test {
 protected:
  const TMediaClips &Clips = MediaClips();
  TTempDir Temp;
  std::string Quoted(const std::string &Path) const { return "'" + Path + "'"; }
};

TEST_F(ConvertCommand, ListsTheCatalogue) {
  const TCommandResult R = Convert("--list-profiles");
  EXPECT_EQ(R.Status, 0);
  const std::vector<std::string> Rows = Lines(R.Output);
  ASSERT_EQ(Rows.size(), 71u);
  EXPECT_EQ(Rows[0], "0\t3GP - Mobile Video Format (*.3gp)\t3GP");
  EXPECT_EQ(Rows[3], "3\tAVI - Audio Video Interleave (*.avi)\tAVI");
  EXPECT_EQ(Rows[67], "67\tWebM - VP9 Video, Opus Audio (*.webm)\tWEBM");
  int Separators = 0;
  for (const std::string &Line : Rows)
    Separators +=
        Line.find("\t              -----------------------------------------\t") != std::string::npos;
  EXPECT_EQ(Separators, 9);
}

TEST_F(ConvertCommand, ShowsAProfilesChoicesByNameOrRow) {
  const TCommandResult ByRow = Convert("--show-profile 0");
  const TCommandResult ByName = Convert("--show-profile '3GP - Mobile Video Format (*.3gp)'");
  EXPECT_EQ(ByRow.Status, 0);
  EXPECT_EQ(ByRow.Output, ByName.Output);
  EXPECT_NE(ByRow.Output.find("--size (default \"176 x 144 (QCIF)\"):\n"), std::string::npos) << ByRow.Output;
  EXPECT_NE(ByRow.Output.find("  128 x 96 (SQCIF)\n"), std::string::npos);
  // The HDR choice, for the profiles whose codecs keep 10 bits.
  EXPECT_NE(ByRow.Output.find("--hdr: none\n"), std::string::npos);
  EXPECT_NE(Convert("--show-profile 64")
                .Output.find("--hdr (default \"keep\", with a codec that keeps 10 "
                             "bits):\n  keep\n  sdr\n"),
            std::string::npos);
}

TEST_F(ConvertCommand, UsageErrorsExitWithTwoAndSayWhy) {
  const std::string Out = Quoted(Temp.Path());
  const std::string File = Quoted(Clips.VideoAudio);
  // A live stream's dump: Matroska written to a pipe has no length.
  TTempDir Sources;
  const std::string Live = Sources.File("live.mkv");
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=25:duration=3 -c:v mpeg4 -f "
                       "matroska pipe:1 > " +
                       Quoted(Live))
                .Status,
            0);
  struct Row {
    std::string Arguments, Message;
  } Rows[] = {
      {"--bogus", "unknown option --bogus"},
      {"-o " + Out + " " + File, "choose a profile"},
      {"-p 3 " + File, "choose an output folder"},
      {"-p 3 -o " + Out, "name at least one file"},
      {"-p 99 -o " + Out + " " + File, "'99' names no profile"},
      {"-p 18 -o " + Out + " " + File, "'18' names no profile"},  // a separator row
      {"-p 3 -o " + Out + " --video-codec MPEG9 " + File,
       "--video-codec: 'MPEG9' is not offered by AVI - Audio Video Interleave (*.avi); choose one of: "
       "\"MPEG4\""},
      {"-p 3 -o " + Out + " --volume 11 " + File, "--volume takes a position from 0 to 10"},
      {"-p 3 -o " + Out + " --jobs 65 " + File,
       "--jobs takes a number from 0 (one per core) to 64, not '65'"},
      {"-p 3 -o " + Out + " --aspect wide " + File, "'wide' is not an aspect"},
      {"-p 68 -o " + Out + " --hdr off " + File, "--hdr takes keep or sdr, not 'off'"},
      {"-p 3 -o " + Out + " --hdr keep " + File,
       "--hdr: AVI - Audio Video Interleave (*.avi) offers no choice here: its pictures are always 8-bit "
       "SDR"},
      {"-p 'MKV - Matroska Video, every track (*.mkv)' -o " + Out + " --hdr keep " + File,
       "--hdr: MKV - Matroska Video, every track (*.mkv) with H.264 offers no choice here"},
      {"-p 3 -o " + Out + " --option novalue " + File, "--option takes NAME=VALUE"},
      {"-p 3 -o " + Out + " --log-level loud " + File, "--log-level takes quiet, error, info, debug or all"},
      {"--info", "--info needs at least one file"},
      {"-p 3 -o " + Quoted(Temp.File("missing")) + " " + File, "does not exist or cannot be written to"},
      // A copy decodes nothing: what it cannot carry out is refused before any file.
      {"-p 66 -o " + Out + " --volume 7 " + File,
       "--volume: MKV - Copy every stream, no re-encoding (*.mkv) copies the streams as they are and cannot "
       "change the volume"},
      {"-p 66 -o " + Out + " --channels Stereo " + File, "--channels: MKV - Copy every stream"},
      {"-p 66 -o " + Out + " --aspect 4:3 " + File, "cannot change the picture's shape"},
      // What to convert of a file: checked against each file before any is converted.
      {"-p 63 -o " + Out + " --audio-tracks 3 " + File,
       "There is no audio track 3: " + Clips.VideoAudio + " has 1"},
      {"-p 63 -o " + Out + " --burn-subtitle 1 " + File,
       "There is no subtitle track 1: " + Clips.VideoAudio + " has 0"},
      {"-p 63 -o " + Out + " --start 100 " + File,
       Clips.VideoAudio + " is 2.0 s long: 100.0 s is past its end"},
      {"-p 63 -o " + Out + " --start 1:02 --end 0:30 " + File, "--end must come after --start"},
      {"-p 63 -o " + Out + " --audio-tracks 0,1 " + File,
       "--audio-tracks takes all, none, or track numbers from 1"},
      {"-p 63 -o " + Out + " --preview soon " + File, "--preview takes seconds (90, 12.5) or H:MM:SS.mmm"},
      // A size target: checked against each file's length before any is converted.
      {"-p 63 -o " + Out + " --target-size 0 " + File, "--target-size must be more than 0, not '0'"},
      {"-p 63 -o " + Out + " --target-size -5M " + File, "--target-size must be more than 0"},
      {"-p 63 -o " + Out + " --target-size 5X " + File,
       "--target-size takes a size such as 25M, 600K or 1.5G"},
      {"-p 66 -o " + Out + " --target-size 10M " + File, "a copy keeps the streams' own size"},
      {"-p 63 -o " + Out + " --target-size 10K " + File, "10 KB is too small for 2 s; at least 45 KB"},
      {"-p 63 -o " + Out + " --target-size 1M " + Quoted(Live),
       "its length is not known (a live stream dump?)"},
      {"-p 3 -o " + Out + " --shard 0/3 " + File, "--shard takes K/N, the K-th of N shares"},
      {"-p 3 -o " + Out + " --shard 4/3 " + File, "--shard takes K/N, the K-th of N shares"},
      {"-p 3 -o " + Out + " --shard 2 " + File, "--shard takes K/N"},
      {"-p 3 -o " + Out + " --file-list " + Quoted(Temp.File("no-list")), "--file-list: cannot read"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Arguments);
    const TCommandResult Result = Convert(R.Arguments);
    EXPECT_EQ(Result.Status, 2);
    EXPECT_NE(Result.Output.find(R.Message), std::string::npos) << Result.Output;
  }
  EXPECT_TRUE(fs::is_empty(Temp.Path())) << "nothing is written";
}

// A song's cover is listed as its cover: the song has no picture size or rate.
TEST_F(ConvertCommand, InfoShowsTheFileListTexts) {
  const std::string Song = Temp.File("song.mp3"), Cover = Temp.File("cover.png");
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i color=blue:size=300x300 -frames:v 1 " + Quoted(Cover)));
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i sine=duration=1 -i " + Quoted(Cover) +
                        " -map 0:a -map 1:v -c:a libmp3lame -c:v copy -disposition:v attached_pic " +
                        Quoted(Song)));
  struct Row {
    std::string File;
    std::vector<std::string> Shown, NotShown;
  } Rows[] = {
      {Clips.VideoOnly,
       {"  Video Size: 160x120\n", "  FrameRate: 29.97\n", "  Duration: 00:00:01\n", "  Container: avi\n",
        "  Video: mpeg4\n"},
       {}},
      {Clips.AudioOnly, {"  Video Size:  \n", "  Audio: mp3, 22050 Hz, 1 channels\n"}, {"Video:"}},
      {Song,
       {"  Video Size:  \n", "  FrameRate:  \n", "  Audio: mp3, 44100 Hz, 1 channels\n", "  Cover: png\n"},
       {"300x300", "Video:"}},
  };
  const TCommandResult R =
      Convert("--info " + Quoted(Clips.VideoOnly) + " " + Quoted(Clips.AudioOnly) + " " + Quoted(Song));
  EXPECT_EQ(R.Status, 0);
  for (size_t I = 0; I < std::size(Rows); ++I) {
    SCOPED_TRACE(Rows[I].File);
    // Each file's lines, up to the next file's name.
    const size_t Start = R.Output.find(Rows[I].File + "\n");
    ASSERT_NE(Start, std::string::npos) << R.Output;
    const std::string Listed = R.Output.substr(
        Start, I + 1 < std::size(Rows) ? R.Output.find(Rows[I + 1].File + "\n") - Start : std::string::npos);
    for (const std::string &Text : Rows[I].Shown)
      EXPECT_NE(Listed.find(Text), std::string::npos) << Text << Listed;
    for (const std::string &Text : Rows[I].NotShown)
      EXPECT_EQ(Listed.find(Text), std::string::npos) << Text << Listed;
  }
  const TCommandResult Missing = Convert("--info " + Quoted(Temp.File("gone.avi")));
  EXPECT_EQ(Missing.Status, 1);
  EXPECT_NE(Missing.Output.find(Temp.File("gone.avi") + ": no such file or directory"), std::string::npos);
}

TEST_F(ConvertCommand, OutputNamesNeverCollideUnlessOverwriting) {
  const std::string Out = Quoted(Temp.Path());
  const std::string File = Quoted(Clips.VideoAudio);
  ASSERT_EQ(Convert("-p 3 -o " + Out + " " + File + " " + File).Status, 0);
  EXPECT_TRUE(fs::exists(Temp.File("video-audio.avi")));
  EXPECT_TRUE(fs::exists(Temp.File("video-audio-1.avi")));
  ASSERT_EQ(Convert("-p 3 -o " + Out + " " + File).Status, 0);
  EXPECT_TRUE(fs::exists(Temp.File("video-audio-2.avi")));
  ASSERT_EQ(Convert("-p 3 -o " + Out + " --overwrite " + File).Status, 0);
  EXPECT_FALSE(fs::exists(Temp.File("video-audio-3.avi")));
  EXPECT_EQ(ProbeFile(Temp.File("video-audio.avi")).Errors, "");
}

// A failure line names the file once, on one line, with what the engine's
// words mean where they alone say little.
TEST_F(ConvertCommand, FailuresAreReportedAndTheOthersStillConvert) {
  const TCommandResult R =
      Convert("-p 3 -o " + Quoted(Temp.Path()) + " " + Quoted(Temp.File("missing.avi")) + " " +
              Quoted(Clips.VideoAudio) + " " + Quoted(Clips.NotMedia) + " " + Quoted(Clips.TruncatedHeader));
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Output.find("failed   " + Temp.File("missing.avi") + ": no such file or directory\n"),
            std::string::npos)
      << R.Output;
  EXPECT_NE(R.Output.find("failed   " + Clips.NotMedia + ": Unknown format\n"), std::string::npos);
  EXPECT_NE(R.Output.find("failed   " + Clips.TruncatedHeader +
                          ": I/O error occurred Usually that means that input file is truncated and/or "
                          "corrupted. The file ends before its own data does: it is cut short or damaged"),
            std::string::npos);
  EXPECT_NE(R.Output.find("1 done, 3 failed, 0 stopped"), std::string::npos);
  // What the converted files weighed before and after; the failed ones do not count.
  EXPECT_NE(R.Output.find("\n1 file, " + ByteSizeText(fs::file_size(Clips.VideoAudio)) + " \u2192 " +
                          ByteSizeText(fs::file_size(Temp.File("video-audio.avi"))) + "\n1 done"),
            std::string::npos)
      << R.Output;
  EXPECT_TRUE(fs::exists(Temp.File("video-audio.avi")));
  // A source cut short converts what it has, and is no success.
  const TTempDir Sources;
  const std::string Six = Sources.File("six.mp4");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=6 -f lavfi -i sine=duration=6 -c:v mpeg4 "
                "-c:a aac -movflags +faststart " +
                Quoted(Six)));
  WriteFile(Sources.File("cut.mp4"), ReadFile(Six).substr(0, fs::file_size(Six) * 4 / 10));
  const TCommandResult Cut = Convert("-p 3 -o " + Quoted(Temp.Path()) + " " + Quoted(Clips.VideoOnly) + " " +
                                     Quoted(Sources.File("cut.mp4")));
  EXPECT_EQ(Cut.Status, 1);
  EXPECT_NE(
      Cut.Output.find("partial  " + Sources.File("cut.mp4") + " -> " + Temp.File("cut.avi") + ": only "),
      std::string::npos)
      << Cut.Output;
  EXPECT_NE(Cut.Output.find("of 6.0 s could be read; the source is cut short"), std::string::npos);
  EXPECT_NE(Cut.Output.find("1 done, 1 partial, 0 failed, 0 stopped"), std::string::npos);
  EXPECT_TRUE(fs::exists(Temp.File("cut.avi")));
  // Jobs side by side never cut each other's log lines: every line a batch
  // at --jobs 2 shows is one the same batch shows at --jobs 1 (numbers and
  // names aside), and the failing file's reason stays whole.
  const std::string Batch = " --log-level info --overwrite -o " + Quoted(Temp.Path()) + " " +
                            Quoted(Clips.VideoAudio) + " " + Quoted(Clips.TruncatedHeader) + " " +
                            Quoted(Clips.VideoAudio) + " " + Quoted(Clips.Widescreen) + " " +
                            Quoted(Clips.VideoAudio);
  const auto Shapes = [](const std::string &Output) {
    std::set<std::string> Lines;
    std::istringstream In(Output);
    for (std::string Line; std::getline(In, Line);)
      if (Line.rfind("[", 0) == 0)
        Lines.insert(
            std::regex_replace(Line.substr(Line.find("] ") + 2), std::regex("[0-9A-F]{6,}|[0-9]+"), "#"));
    return Lines;
  };
  const std::set<std::string> Whole = Shapes(Convert("-p 3 --jobs 1" + Batch).Output);
  for (int Round = 0; Round < 3; ++Round) {
    const TCommandResult Parallel = Convert("-p 3 --jobs 2" + Batch);
    EXPECT_EQ(Parallel.Status, 1);
    EXPECT_NE(Parallel.Output.find("failed   " + Clips.TruncatedHeader + ": I/O error occurred Usually"),
              std::string::npos);
    for (const std::string &Line : Shapes(Parallel.Output)) EXPECT_TRUE(Whole.count(Line)) << Line;
  }
  // No sound for a sound-only profile.
  const TCommandResult NoSound = Convert("-p 23 -o " + Quoted(Temp.Path()) + " " + Quoted(Clips.VideoOnly));
  EXPECT_EQ(NoSound.Status, 1);
  EXPECT_NE(NoSound.Output.find("failed   " + Clips.VideoOnly +
                                ": Output file does not contain any stream. The source has nothing this "
                                "format can hold: no sound that can be read"),
            std::string::npos)
      << NoSound.Output;
}

// A clip shot upright (stored 320x180) keeps its shape: turned upright into
// the profile's frame with bars at its sides (shown 4:3, not stretched to
// its own 9:16), or with autorotate=0 left as stored, with the stored
// shape and the display matrix that turns it.
TEST_F(ConvertCommand, ClipShotUprightKeepsItsShape) {
  struct Row {
    std::string Arguments;
    int Width, Height;
    const char *Shape;  // display aspect ratio
    double Rotation;    // of the display matrix; -1: none
  } Rows[] = {
      {"-p 'PSP Video (*.mp4)' --size '320 x 240'", 320, 240, "4:3", -1},
      {"-p 'MP4 - MPEG4 Video (*.mp4)' --option autorotate=0", 320, 180, "16:9", -90},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Arguments);
    const TCommandResult Result =
        Convert(R.Arguments + " --overwrite -o " + Quoted(Temp.Path()) + " " + Quoted(Clips.Portrait));
    ASSERT_EQ(Result.Status, 0) << Result.Output;
    const TProbedFile P = ProbeFile(Temp.File("portrait.mp4"));
    const auto *Video = P.Stream("video");
    ASSERT_NE(Video, nullptr);
    EXPECT_EQ(Number(Video, "width"), R.Width);
    EXPECT_EQ(Number(Video, "height"), R.Height);
    EXPECT_EQ(Video->at("display_aspect_ratio"), R.Shape);
    EXPECT_EQ(Number(Video, "side_data_list.side_data.0.rotation"), R.Rotation);
  }
  // A copy into Matroska cannot keep the turn: rather than a clip lying on
  // its side, the file fails and the reason names profiles that turn it.
  const TCommandResult Copy = Convert("-p 66 -o " + Quoted(Temp.Path()) + " " + Quoted(Clips.Portrait));
  EXPECT_EQ(Copy.Status, 1);
  EXPECT_NE(Copy.Output.find("a copy would play on its side. Choose a profile that converts the picture"),
            std::string::npos)
      << Copy.Output;
  EXPECT_FALSE(fs::exists(Temp.File("portrait.mkv")));
}

// An output takes its source's file date (a photo library files it under
// the day it was shot), unless --no-keep-date asks for the day it was made.
TEST_F(ConvertCommand, OutputsKeepTheSourcesFileDate) {
  const TTempDir Sources;
  const std::string Source = Sources.File("shot.avi");
  fs::copy_file(Clips.VideoAudio, Source);
  const auto Shot = fs::last_write_time(Source) - std::chrono::hours(24 * 400);
  fs::last_write_time(Source, Shot);
  struct Row {
    std::string Options;
    bool Kept;
  } Rows[] = {{"", true}, {"--no-keep-date", false}};
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Options);
    const TCommandResult Result =
        Convert("-p 3 --overwrite -o " + Quoted(Temp.Path()) + " " + R.Options + " " + Quoted(Source));
    ASSERT_EQ(Result.Status, 0) << Result.Output;
    EXPECT_EQ(fs::last_write_time(Temp.File("shot.avi")) == Shot, R.Kept);
  }
}

// Each file's line comes as the file ends: a long one (or one that never
// ends) does not hold back the results of the others.
TEST_F(ConvertCommand, EachFileIsReportedWhenItEnds) {
  const TCommandResult R = Convert("-p 3 -o " + Quoted(Temp.Path()) + " --jobs 2 " + Quoted(Clips.LongHD) +
                                   " " + Quoted(Clips.VideoOnly) + " " + Quoted(Clips.VideoAudio));
  EXPECT_EQ(R.Status, 0) << R.Output;
  const size_t Long = R.Output.find("done     " + Clips.LongHD);
  const size_t Short = R.Output.find("done     " + Clips.VideoOnly);
  const size_t Other = R.Output.find("done     " + Clips.VideoAudio);
  ASSERT_NE(Long, std::string::npos) << R.Output;
  EXPECT_LT(Short, Long);
  EXPECT_LT(Other, Long);
  EXPECT_NE(R.Output.find("3 done, 0 failed, 0 stopped"), std::string::npos);
}

TEST_F(ConvertCommand, JobsShareTheCoresBetweenThem) {
  // x264 writes its thread count into each output (Apple TV H264 320 x 240).
  const unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
  const std::string Two = Quoted(Clips.VideoAudio) + " " + Quoted(Clips.VideoAudio);
  const int Half = static_cast<int>(std::max(1u, Cores / std::min(Cores, 2u)));
  struct Row {
    std::string Arguments;
    int Files;
    int Threads;  // 0: x264's own choice for the whole machine
  } Rows[] = {
      {"--jobs 1 " + Quoted(Clips.VideoAudio), 1, 0},
      {"--jobs " + Two, 2, Half},  // no count: one job per core
      {"-j 0 " + Two, 2, Half},
      {"--jobs 2 --option threads=3 " + Two, 2, 3},  // the user's own count wins
  };
  for (size_t I = 0; I < std::size(Rows); ++I) {
    const Row &R = Rows[I];
    SCOPED_TRACE(R.Arguments);
    const std::string Folder = Temp.File(std::to_string(I));
    fs::create_directory(Folder);
    const TCommandResult Result = Convert("-p 34 -o " + Quoted(Folder) + " " + R.Arguments);
    ASSERT_EQ(Result.Status, 0) << Result.Output;
    for (int F = 0; F < R.Files; ++F) {
      const std::string Name = F == 0 ? "video-audio.mp4" : "video-audio-1.mp4";
      const int Threads = X264Threads(Folder + "/" + Name);
      if (R.Threads > 0)
        EXPECT_EQ(Threads, R.Threads) << Name;
      else
        EXPECT_EQ(Threads > 1, Cores > 1) << Name << " has " << Threads;
    }
  }
}

// Starts the program with Arguments (standard error to Errors, standard
// output to Output) and sends it
// Signal once Watched has grown past 100 kB, or, with no Watched, Delay
// after the program itself started, and then once more 50 ms later, as
// timeout(1) sends it to the process and to its group; its exit status, or
// -1 when it did not exit normally.
int StopWithSignal(const std::string &Arguments, const std::string &Errors, const std::string &Watched,
                   int Signal, std::chrono::milliseconds Delay = {},
                   const std::string &Output = "/dev/null") {
  const std::string Command = "exec " + Program() + " " + Arguments + " 2>'" + Errors + "' >'" + Output + "'";
  const char *Words[] = {"sh", "-c", Command.c_str(), nullptr};
  pid_t Child = 0;
  if (posix_spawn(&Child, "/bin/sh", nullptr, nullptr, const_cast<char **>(Words), environ) != 0) return -1;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  const auto Exe = "/proc/" + std::to_string(Child) + "/exe";
  std::error_code Error;
  while (fs::read_symlink(Exe, Error).filename() != "korvane-convert" &&
         std::chrono::steady_clock::now() < Deadline)
    std::this_thread::yield();
  std::this_thread::sleep_for(Delay);
  while (!Watched.empty() && (!fs::exists(Watched) || fs::file_size(Watched) < 100000) &&
         std::chrono::steady_clock::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(Child, Signal);
  if (Watched.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(Child, Signal);
  }
  int Status = 0;
  waitpid(Child, &Status, 0);
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

TEST_F(ConvertCommand, CtrlCAndTerminationStopAndLeavePlayableOutputs) {
  // The long clip takes seconds to convert: stop it once its output grows,
  // or at random moments from the start on (the libraries loading, the
  // input opening, the run), which must all stop as cleanly. The first
  // 100 ms are left out: before main a signal ends any program.
  // An MP4 that is not finished has no index and does not play.
  std::mt19937 Random(std::random_device{}());
  const struct {
    int Signal, Status;
    const char *Profile, *Extension;
    int Delay;  // ms; -1: once the output grows
  } Rows[] = {{SIGINT, 130, "3", ".avi", -1},
              {SIGTERM, 143, "10", ".mp4", -1},
              {SIGTERM, 143, "63", ".mp4", 100 + static_cast<int>(Random() % 2000)},
              {SIGTERM, 143, "63", ".mp4", 100 + static_cast<int>(Random() % 2000)},
              {SIGTERM, 143, "63", ".mp4", 100 + static_cast<int>(Random() % 2000)}};
  for (size_t I = 0; I < std::size(Rows); ++I) {
    const auto &R = Rows[I];
    SCOPED_TRACE(std::to_string(R.Signal) + " after " + std::to_string(R.Delay) + " ms");
    const std::string Folder = Temp.File("signal-" + std::to_string(I));
    fs::create_directory(Folder);
    const std::string Errors = Temp.File("stderr.txt"), Output = Folder + "/long-hd" + R.Extension;
    EXPECT_EQ(
        StopWithSignal(std::string("-p ") + R.Profile + " -o " + Quoted(Folder) + " " + Quoted(Clips.LongHD),
                       Errors, R.Delay < 0 ? Output : "", R.Signal,
                       std::chrono::milliseconds(std::max(R.Delay, 0))),
        R.Status);
    const std::string Text = ReadFile(Errors);
    EXPECT_NE(Text.find("0 done, 0 failed, 1 stopped"), std::string::npos) << Text;
    // Stopped before its first picture, a run leaves no output at all.
    if (R.Delay >= 0 && !fs::exists(Output)) {
      EXPECT_NE(Text.find("stopped  " + Clips.LongHD), std::string::npos) << Text;
      continue;
    }
    EXPECT_NE(Text.find("stopped  " + Clips.LongHD + " -> " + Output), std::string::npos) << Text;
    const TProbedFile P = ProbeFile(Output, true);
    EXPECT_EQ(P.Errors, "");
    EXPECT_GT(Number(P.Stream("video"), "nb_read_frames"), R.Delay < 0 ? 5 : 0);
    EXPECT_LT(Number(P.Stream("video"), "nb_read_frames"), 700);
  }
}

TEST_F(ConvertCommand, AStoppedBatchCreatesNothingForFilesNotStarted) {
  std::string Inputs;
  for (int I = 0; I < 30; ++I) {
    const std::string Name = Temp.File("hd-" + std::to_string(I) + ".avi");
    fs::create_hard_link(Clips.LongHD, Name);
    Inputs += " " + Quoted(Name);
  }
  const std::string Folder = Temp.File("out");
  fs::create_directory(Folder);
  EXPECT_EQ(StopWithSignal("-p 3 --jobs 1 -o " + Quoted(Folder) + Inputs, Temp.File("stderr.txt"),
                           Folder + "/hd-0.avi", SIGINT),
            130);
  const std::string Text = ReadFile(Temp.File("stderr.txt"));
  EXPECT_NE(Text.find("stopped  " + Temp.File("hd-29.avi") + "\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("0 done, 0 failed, 30 stopped"), std::string::npos) << Text;
  // Only the file under way when the batch stopped has an output.
  std::vector<std::string> Written;
  for (const auto &Entry : fs::directory_iterator(Folder)) Written.push_back(Entry.path().filename());
  EXPECT_EQ(Written, std::vector<std::string>{"hd-0.avi"});
  EXPECT_EQ(ProbeFile(Folder + "/hd-0.avi").Errors, "");
}

TEST_F(ConvertCommand, FilesOfOneNameInOneBatchGetAFileEach) {
  // Two sources named alike, in one batch and with overwriting: neither
  // output may be written over by the other, whatever runs at once.
  fs::create_directories(Temp.File("a"));
  fs::create_directories(Temp.File("b"));
  fs::copy_file(Clips.VideoAudio, Temp.File("a/clip.mp4"));
  fs::copy_file(Clips.VideoOnly, Temp.File("b/clip.avi"));
  for (const char *Jobs : {"1", "2"}) {
    SCOPED_TRACE(Jobs);
    const std::string Folder = Temp.File(std::string("out-") + Jobs);
    fs::create_directory(Folder);
    WriteFile(Folder + "/clip.avi", "an older file, to be overwritten");
    const TCommandResult R =
        Convert("-p 3 --overwrite --jobs " + std::string(Jobs) + " -o " + Quoted(Folder) + " " +
                Quoted(Temp.File("a/clip.mp4")) + " " + Quoted(Temp.File("b/clip.avi")));
    EXPECT_EQ(R.Status, 0) << R.Output;
    EXPECT_NE(R.Output.find("done     " + Temp.File("a/clip.mp4") + " -> " + Folder + "/clip.avi"),
              std::string::npos)
        << R.Output;
    EXPECT_NE(R.Output.find("done     " + Temp.File("b/clip.avi") + " -> " + Folder + "/clip-1.avi"),
              std::string::npos);
    EXPECT_EQ(Number(ProbeFile(Folder + "/clip.avi", true).Stream("video"), "nb_read_frames"), 50);
    EXPECT_EQ(Number(ProbeFile(Folder + "/clip-1.avi", true).Stream("video"), "nb_read_frames"), 30);
    EXPECT_EQ(DecodeErrors(Folder + "/clip.avi"), "");
    EXPECT_EQ(DecodeErrors(Folder + "/clip-1.avi"), "");
  }
}

TEST_F(ConvertCommand, ALongBatchHoldsOnlyTheFilesOfItsRunningJobs) {
  // 48 sources under a limit of 32 open files: a batch that opened every
  // input and output before its first conversion would run out.
  const std::string Sound = Temp.File("sound.wav");
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i sine=duration=0.2 '" + Sound + "'"));
  std::string Inputs;
  for (int I = 0; I < 48; ++I) {
    const std::string Name = Temp.File("sound-" + std::to_string(I) + ".wav");
    fs::create_hard_link(Sound, Name);
    Inputs += " " + Quoted(Name);
  }
  const std::string Folder = Temp.File("out");
  fs::create_directory(Folder);
  const TCommandResult R =
      RunCommand("ulimit -n 32 && " + Program() + " -p 23 --jobs 2 -o " + Quoted(Folder) + Inputs, true);
  EXPECT_EQ(R.Status, 0) << R.Output;
  EXPECT_NE(R.Output.find("48 done, 0 failed, 0 stopped"), std::string::npos) << R.Output;
  EXPECT_EQ(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()), 48);
}

// The lines of korvane-convert --json in File as Python's json module reads
// them: one map of field to value per line, texts as the bytes Python
// turns them back into (os.fsencode), other values as JSON. Fails the test
// when a line is no JSON object with an "event".
std::vector<std::map<std::string, std::string>> JsonEvents(const std::string &File) {
  const char *Script =
      "import json, os, sys\n"
      "for line in open(sys.argv[1], 'rb'):\n"
      "    event = json.loads(line)\n"
      "    assert isinstance(event, dict) and 'event' in event, line\n"
      "    sys.stdout.buffer.write(b'\\t'.join(k.encode() + b'=' + (os.fsencode(v) if isinstance(v, str) "
      "else json.dumps(v).encode()) for k, v in event.items()) + b'\\n')\n";
  WriteFile(File + ".py", Script);
  const TCommandResult R = RunCommand("python3 '" + File + ".py' '" + File + "'", true);
  EXPECT_EQ(R.Status, 0) << R.Output << ReadFile(File);
  std::vector<std::map<std::string, std::string>> Events;
  for (const std::string &Line : Lines(R.Output)) {
    auto &Fields = Events.emplace_back();
    std::istringstream In(Line);
    for (std::string Field; std::getline(In, Field, '\t');)
      Fields[Field.substr(0, Field.find('='))] = Field.substr(Field.find('=') + 1);
  }
  return Events;
}

// The end line or event of each file, by file.
std::map<std::string, std::string> Outcomes(const std::vector<std::map<std::string, std::string>> &Events) {
  std::map<std::string, std::string> Out;
  for (const auto &E : Events)
    if (E.at("event") == "end") Out[E.at("file")] = E.at("outcome");
  return Out;
}

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

// --skip-existing after a stop: the output the stop left is converted again
// under its own name, the complete one is not; a run after that converts
// nothing. A partial output (its source cut short) is never complete, and
// a file of someone else's in an output's place is left alone.
TEST_F(ConvertCommand, SkipExistingRedoesWhatAStopLeftUnfinished) {
  const std::string Src = Temp.File("src"), Out = Temp.File("out");
  fs::create_directories(Src);
  fs::create_directories(Out);
  fs::create_hard_link(Clips.LongHD, Src + "/a-long.avi");
  fs::create_hard_link(Clips.VideoOnly, Src + "/b-short.avi");
  const std::string Batch = "-p 3 --jobs 1 --skip-existing -o " + Quoted(Out) + " " + Quoted(Src);
  EXPECT_EQ(StopWithSignal(Batch, Temp.File("stderr.txt"), Out + "/a-long.avi", SIGINT), 130);

  const TCommandResult Again = Convert(Batch);
  EXPECT_EQ(Again.Status, 0) << Again.Output;
  EXPECT_NE(Again.Output.find("done     " + Src + "/a-long.avi -> " + Out + "/a-long.avi\n"),
            std::string::npos)
      << Again.Output;
  EXPECT_NE(Again.Output.find("done     " + Src + "/b-short.avi -> " + Out + "/b-short.avi\n"),
            std::string::npos);
  EXPECT_NEAR(Number(ProbeFile(Out + "/a-long.avi", true).Stream("video"), "nb_read_frames"), 750, 2);
  EXPECT_FALSE(fs::exists(Out + "/a-long-1.avi"));

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
