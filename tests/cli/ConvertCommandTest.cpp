// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert as a user runs it: the listings, usage errors, file
// information, output names, failures, Ctrl-C and several jobs at once.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "CommandRun.h"
#include "MediaCheck.h"
#include "SizeTarget.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

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
      {"-p 63 -o " + Out + " --audio-tracks 2,2,1,2 " + File, "--audio-tracks names track 2 twice"},
      {"-p 63 -o " + Out + " --subtitles 3,3,2 " + File, "--subtitles names track 3 twice"},
      {"-p 63 -o " + Out + " --burn-subtitle 99999999999999999999 " + File,
       "There is no subtitle track 99999999999999999999: no file has that many"},
      {"-p 63 -o " + Out + " --audio-tracks 1,99999999999999999999 " + File,
       "There is no audio track 99999999999999999999"},
      {"-p 63 -o " + Out + " --preview soon " + File, "--preview takes seconds (90, 12.5) or H:MM:SS.mmm"},
      // A size target: checked against each file's length before any is converted.
      {"-p 63 -o " + Out + " --target-size 0 " + File, "--target-size must be more than 0, not '0'"},
      {"-p 63 -o " + Out + " --target-size -5M " + File, "--target-size must be more than 0"},
      {"-p 63 -o " + Out + " --target-size 5X " + File,
       "--target-size takes a size such as 25M, 600K or 1.5G"},
      {"-p 63 -o " + Out + " --target-size 99999999999G " + File,
       "--target-size: '99999999999G' is more than any file can hold"},
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
  const TTempDir Other;
  fs::create_hard_link(Clips.VideoAudio, Other.File("video-audio.mp4"));
  ASSERT_EQ(Convert("-p 3 -o " + Out + " " + File + " " + Quoted(Other.File("video-audio.mp4"))).Status, 0);
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
  const TCommandResult R = Convert("-p 3 -o " + Quoted(Temp.Path()) + " " + Quoted(Temp.File("missing.avi")) +
                                   " " + Quoted(Clips.VideoAudio) + " " + Quoted(Clips.NotMedia) + " " +
                                   Quoted(Clips.TruncatedHeader) + " " + Quoted(Clips.Empty));
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Output.find("failed   " + Temp.File("missing.avi") + ": no such file or directory\n"),
            std::string::npos)
      << R.Output;
  EXPECT_NE(R.Output.find("failed   " + Clips.NotMedia + ": Unknown format\n"), std::string::npos);
  EXPECT_NE(
      R.Output.find("failed   " + Clips.Empty +
                    ": Unknown format. The file is empty (0 bytes): there is nothing in it to convert.\n"),
      std::string::npos);
  EXPECT_NE(R.Output.find("failed   " + Clips.TruncatedHeader +
                          ": I/O error occurred Usually that means that input file is truncated and/or "
                          "corrupted. The file ends before its own data does: it is cut short or damaged"),
            std::string::npos);
  EXPECT_NE(R.Output.find("1 done, 4 failed, 0 stopped"), std::string::npos);
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
  // One clip by three names (a file named twice is converted once).
  std::string Again[2];
  for (int I = 0; I < 2; ++I) {
    fs::create_directories(Sources.File("again-" + std::to_string(I)));
    Again[I] = Sources.File("again-" + std::to_string(I) + "/video-audio.mp4");
    fs::create_hard_link(Clips.VideoAudio, Again[I]);
  }
  const std::string Batch = " --log-level info --overwrite -o " + Quoted(Temp.Path()) + " " +
                            Quoted(Clips.VideoAudio) + " " + Quoted(Clips.TruncatedHeader) + " " +
                            Quoted(Again[0]) + " " + Quoted(Clips.Widescreen) + " " + Quoted(Again[1]);
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
  // Two files of one clip (one file named twice is converted once).
  fs::create_directory(Temp.File("again"));
  fs::create_hard_link(Clips.VideoAudio, Temp.File("again/video-audio.mp4"));
  const std::string Two = Quoted(Clips.VideoAudio) + " " + Quoted(Temp.File("again/video-audio.mp4"));
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
  // Only the file under way when the batch stopped has an output (which
  // the journal notes as stopped).
  std::vector<std::string> Written;
  for (const auto &Entry : fs::directory_iterator(Folder))
    if (Entry.path().filename() != ".korvane-journal") Written.push_back(Entry.path().filename());
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

}  // namespace
}  // namespace korvane::test
