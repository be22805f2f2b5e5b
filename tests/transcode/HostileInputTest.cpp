// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged sources and absurd option values: a run that writes nothing is a
// failure that leaves no file, arithmetic on absurd numbers stays defined
// (the sanitizer build checks that too), and failures name their cause.
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "ColourClips.h"
#include "ConversionFixture.h"
#include "MediaMutations.h"
#include "SilentServer.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

using HostileInput = TranscodeTest;

std::string Quoted(const std::string &Path) { return "'" + Path + "'"; }

// The failure of an empty output; Limits: the limit options given, which
// the text names.
std::string NothingEncoded(const std::string &Target, const std::string &Limits = "") {
  const std::string Text =
      "Output file #0 (" + Target + ") is empty: nothing was encoded. The source may be damaged or too short";
  if (Limits.empty()) return Text;
  return Text +
         (Limits.find(',') == std::string::npos ? ", or the option " + Limits + " leaves"
                                                : ", or the options (" + Limits + ") leave") +
         " nothing to convert";
}

std::string PictureLost(const std::string &Source) {
  return "the picture of " + Source + " could not be decoded: ";
}

// H.265 whose parameter sets (in "hvcC") are noise of their own length:
// its decoder opens, and no picture decodes.
void NoisyParameterSetsCopy(const std::string &Hevc, const std::string &Target) {
  std::string Data = ReadFile(Hevc);
  size_t At = Data.find("hvcC") + 4 + 22;
  for (int Arrays = static_cast<unsigned char>(Data[At++]); Arrays-- > 0;) {
    const int Units =
        static_cast<unsigned char>(Data[At + 1]) << 8 | static_cast<unsigned char>(Data[At + 2]);
    At += 3;
    for (int U = 0; U < Units; ++U) {
      const size_t Size = static_cast<size_t>(static_cast<unsigned char>(Data[At]) << 8 |
                                              static_cast<unsigned char>(Data[At + 1]));
      Data.replace(At + 4, Size - 2, Size - 2, '\xff');  // all but each unit's own header
      At += 2 + Size;
    }
  }
  WriteFile(Target, Data);
}

// The damaged sources of the table below, made in Temp from clean ones.
void MakeDamagedSources(const TTempDir &Temp, const TMediaClips &Clips) {
  const auto Out = [&Temp](const std::string &Name) { return Temp.File(Name); };
  const std::string Mkv = Out("small-headers.mkv"), Ogg = Out("sound.ogg"), Mp4 = Out("film.mp4");
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                "-c:v mpeg4 -c:a mp2 " +
                Quoted(Mkv)));
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i sine=duration=1 -c:a libvorbis " + Quoted(Ogg)));
  ASSERT_TRUE(
      RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                "-c:v libx264 -preset ultrafast -c:a aac " +
                Quoted(Mp4)));
  // Every picture of the film overwritten with noise, its sound whole.
  ASSERT_TRUE(RunFFmpeg("-i " + Quoted(Mp4) + " -c copy -bsf:v noise=amount=1 " + Quoted(Out("noise.mp4"))));
  // The headers whole, not one frame after them.
  TruncatedCopy(Mkv, 1007, Out("cut.mkv"));
  // Every page after the headers damaged.
  FlippedCopy(Ogg, 3400, fs::file_size(Ogg) - 3400, Out("flipped.ogg"));
  ZeroedBoxCopy(Clips.VideoAudio, "mdat", Out("zeroed.mp4"));
  // PCM samples labelled as MP3 (format tag 0x55).
  PatchedCopy(Clips.SweepAudio, 20, LittleEndian(0x55, 2), Out("mislabelled.wav"));
  // The picture's sample table says it has no samples (the first "stsz" box
  // is the picture's: its count follows version, flags and sample size).
  PatchedCopy(Mp4, ReadFile(Mp4).find("stsz") + 12, std::string(4, '\0'), Out("no-samples.mp4"));
  const std::string Hevc = Out("hevc.mp4");
  ASSERT_TRUE(RunFFmpeg(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v libx265 -x265-params log-level=error " +
      Quoted(Hevc)));
  NoisyParameterSetsCopy(Hevc, Out("bad-hvcc.mp4"));
  // An MPEG-TS cut after its first packets: streams declared, no sound in them.
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i sine=duration=1:sample_rate=48000 -c:a mp2 " + Quoted(Out("sound.ts"))));
  TruncatedCopy(Out("sound.ts"), 3 * 188, Out("cut.ts"));
  // Songs of 3 s with a cover, cut after half of their sound, and a FLAC
  // cut after its headers (the cover among them): no sound at all.
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i color=blue:size=300x300 -frames:v 1 " + Quoted(Out("blue.png"))));
  for (const std::string Codec : {"flac", "mp3"}) {
    const std::string Song = Out("covered." + Codec);
    ASSERT_TRUE(RunFFmpeg("-f lavfi -i sine=duration=3 -i " + Quoted(Out("blue.png")) +
                          " -map 0:a -map 1:v -c:v copy -disposition:v attached_pic -c:a " +
                          (Codec == "mp3" ? "libmp3lame " : "flac ") + Quoted(Song)));
    TruncatedCopy(Song, fs::file_size(Song) / 2, Out("covered-cut." + Codec));
  }
  const std::string Flac = ReadFile(Out("covered.flac"));
  size_t Headers = 4;  // "fLaC", then blocks of a flag and type byte and a 24-bit size
  for (bool Last = false; !Last && Headers + 4 <= Flac.size();) {
    const auto Byte = [&](size_t I) { return static_cast<size_t>(static_cast<unsigned char>(Flac[I])); };
    Last = Byte(Headers) & 0x80;
    Headers += 4 + (Byte(Headers + 1) << 16 | Byte(Headers + 2) << 8 | Byte(Headers + 3));
  }
  TruncatedCopy(Out("covered.flac"), Headers, Out("covered-headers.flac"));
}

// A run that writes nothing, or no picture from a source that has one, has
// failed: it says why and leaves no file.
TEST_F(HostileInput, ARunThatWritesNothingOrLosesThePictureFailsAndLeavesNoFile) {
  ASSERT_NO_FATAL_FAILURE(MakeDamagedSources(Temp, Clips));
  struct Row {
    std::string What, Source, Target;
    TConfigure Configure;
    std::string Error;  // how the failure text of a run that opened its output begins; empty: it works
  } Rows[] = {
      {"the first 1007 bytes of an MKV", Out("cut.mkv"), Out("cut.avi"), {}, NothingEncoded(Out("cut.avi"))},
      {"an Ogg file with flipped bytes to MP4",
       Out("flipped.ogg"),
       Out("flipped.mp4"),
       {},
       NothingEncoded(Out("flipped.mp4"))},
      {"an MP4 with its media data zeroed to MP3", Out("zeroed.mp4"), Out("zeroed.mp3"),
       [](TInputOptions &, TOutputOptions &O) { O.VideoDisable = true; }, NothingEncoded(Out("zeroed.mp3"))},
      {"a WAV with a wrong format tag to FLV",
       Out("mislabelled.wav"),
       Out("mislabelled.flv"),
       {},
       NothingEncoded(Out("mislabelled.flv"))},
      {"a start past the end", Clips.VideoAudio, Out("late.avi"), Lines("", "ss=100"),
       NothingEncoded(Out("late.avi"), "ss")},
      {"no video frame", Clips.VideoAudio, Out("no-video.avi"), Lines("", "vframes=0"),
       NothingEncoded(Out("no-video.avi"), "vframes")},
      {"no audio frame", Clips.VideoAudio, Out("no-audio.avi"), Lines("", "aframes=0\nt=5"),
       NothingEncoded(Out("no-audio.avi"), "t, aframes")},
      {"a size limit of one byte", Clips.VideoAudio, Out("one-byte.avi"), Lines("", "fs=1"),
       NothingEncoded(Out("one-byte.avi"), "fs")},
      {"a picture without samples to AVI",
       Out("no-samples.mp4"),
       Out("no-samples.avi"),
       {},
       PictureLost(Out("no-samples.mp4")) + "the file holds no picture data that can be read"},
      {"a picture without samples to MP4",
       Out("no-samples.mp4"),
       Out("no-samples-copy.mp4"),
       {},
       PictureLost(Out("no-samples.mp4"))},
      {"a picture of noise to MPEG-2 in VOB",
       Out("noise.mp4"),
       Out("noise.vob"),
       {},
       PictureLost(Out("noise.mp4"))},
      {"a picture of noise to H.264 in MP4", Out("noise.mp4"), Out("noise-h264.mp4"),
       [](TInputOptions &, TOutputOptions &O) { O.VideoCodec = "libx264"; }, PictureLost(Out("noise.mp4"))},
      // SVT-AV1 waits forever when it is closed without a picture or an end.
      {"parameter sets of noise to AV1", Out("bad-hvcc.mp4"), Out("bad-hvcc.webm"),
       [](TInputOptions &, TOutputOptions &O) { O.VideoCodec = "libsvtav1"; },
       NothingEncoded(Out("bad-hvcc.webm"))},
      // The FLAC encoder's last word on its header is no sound.
      {"a TS cut after its first packets to FLAC",
       Out("cut.ts"),
       Out("cut.flac"),
       {},
       NothingEncoded(Out("cut.flac"))},
      // A song's cover is no sound: an output that holds it alone is empty.
      {"a FLAC with a cover cut short, started past its sound", Out("covered-cut.flac"),
       Out("covered-cut-out.flac"), Lines("ss=2.5", ""), NothingEncoded(Out("covered-cut-out.flac"))},
      {"an MP3 with a cover cut short, started past its sound", Out("covered-cut.mp3"),
       Out("covered-cut-out.mp3"), Lines("ss=2.5", ""), NothingEncoded(Out("covered-cut-out.mp3"))},
      {"a FLAC with a cover and no sound",
       Out("covered-headers.flac"),
       Out("covered-headers-out.flac"),
       {},
       NothingEncoded(Out("covered-headers-out.flac"))},
      {"a song with a cover, no sound taken, to MP4", Out("covered.mp3"), Out("covered-none.mp4"),
       Lines("", "vcodec=libx264\naudio_tracks=none"),
       "Output file #0 (" + Out("covered-none.mp4") + ") would hold only a cover"},
      // Colour tags that name reserved primaries, PQ for 8-bit BT.709
      // pictures and RGB's matrix for YUV samples, and a mastering display
      // whose least light exceeds its greatest: what is garbage is left
      // out, the rest is kept or tone-mapped.
      {"garbage colour tags tone-mapped to H.264", ColourClips().GarbageTags, Out("garbage-tags.mp4"),
       Lines("", "vcodec=libx264\npix_fmt=yuv420p\nhdr=sdr"), ""},
      {"garbage colour tags kept by H.265", ColourClips().GarbageTags, Out("garbage-tags.mkv"),
       Lines("", "vcodec=libx265\ndeep_pix_fmt=yuv420p10le"), ""},
      {"garbage colour tags kept by H.264", ColourClips().GarbageTags, Out("garbage-tags-8-bit.mkv"),
       Lines("", "vcodec=libx264\npix_fmt=yuv420p"), ""},
      {"a garbage mastering display kept by H.265", ColourClips().GarbageMastering,
       Out("garbage-mastering.mp4"), Lines("", "vcodec=libx265\ndeep_pix_fmt=yuv420p10le"), ""},
      {"a garbage mastering display tone-mapped to MPEG-4", ColourClips().GarbageMastering,
       Out("garbage-mastering.avi"), Lines("", "vcodec=mpeg4\nhdr=sdr"), ""},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.What);
    const TConversion C = Convert(R.Source, R.Target, R.Configure);
    if (R.Error.empty()) {  // a source whose damage the conversion leaves out
      EXPECT_TRUE(C.Ran) << C.Error;
      EXPECT_EQ(DecodeErrors(R.Target), "");
      const TProbedFile Probed = ProbeFile(R.Target);
      const auto *Video = Probed.Stream("video");
      ASSERT_NE(Video, nullptr);
      for (const char *Key : {"color_space", "color_primaries"})
        EXPECT_TRUE(!Video->count(Key) || (Video->at(Key) != "gbr" && Video->at(Key) != "reserved")) << Key;
      continue;
    }
    EXPECT_FALSE(C.Ran);
    // Sources damaged beyond opening fail there, with the text of their own.
    if (C.OutputOpened) {
      EXPECT_EQ(C.Error.substr(0, R.Error.size()), R.Error);
    } else {
      EXPECT_NE(C.Error, "");
    }
    EXPECT_FALSE(fs::exists(R.Target));
  }
}

// Ten milliseconds of sound is short, not empty: the whole of it reaches the
// VOB as one AC-3 frame that plays.
TEST_F(HostileInput, TenMillisecondsOfSoundAreShortNotEmpty) {
  const std::string Tiny = Out("tiny.wav");
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i sine=duration=0.01 " + Quoted(Tiny)));
  const TConversion Short = Convert(Tiny, Out("tiny.vob"));
  EXPECT_TRUE(Short.Ran) << Short.Error;
  const TProbedFile Probed = ProbeFile(Out("tiny.vob"), true);
  ASSERT_NE(Probed.Stream("audio"), nullptr);
  EXPECT_GE(Number(Probed.Stream("audio"), "nb_read_frames"), 1);
  EXPECT_EQ(DecodeErrors(Out("tiny.vob")), "");
}

TEST_F(HostileInput, AStopBeforeAnythingIsWrittenLeavesNoFileButIsNoFailure) {
  const TConversion C = Convert(Clips.VideoAudio, Out("stopped-at-once.avi"), {},
                                [](TFFmpeg &Task, TConversion &) { Task.FStopRequested = true; });
  EXPECT_TRUE(C.Ran) << C.Error;
  EXPECT_FALSE(C.Finished);
  EXPECT_FALSE(fs::exists(Out("stopped-at-once.avi")));
}

TEST_F(HostileInput, NoTwoTasksWriteOneFileAndNoneRemovesAnothersFile) {
  const std::string Target = Out("shared.avi");
  TFFmpeg First, Second;
  for (TFFmpeg *Task : {&First, &Second}) {
    Task->PrepareOptions();
    ASSERT_TRUE(Task->OpenInputFile(Clips.VideoAudio)) << Task->State().FErrorText;
  }
  ASSERT_TRUE(First.OpenOutputFile(Target)) << First.State().FErrorText;
  EXPECT_FALSE(Second.OpenOutputFile(Target));
  EXPECT_EQ(Second.State().FErrorText,
            "'" + Target + "' is being written by another conversion; choose another output name");
  // Another file now carries the name: clearing the first task (whose own
  // file stayed empty) leaves it alone.
  fs::remove(Target);
  WriteFile(Target, "another file");
  First.ClearOptions();
  EXPECT_EQ(ReadFile(Target), "another file");
  // The name is free again.
  EXPECT_TRUE(Second.OpenOutputFile(Target)) << Second.State().FErrorText;
  Second.ClearOptions();
  EXPECT_FALSE(fs::exists(Target)) << "an output that stayed empty goes";
}

// A cover travels as it is, never decoded: noise in it, a picture far
// larger than any cover, or data that is not the picture its codec says
// never keep the sound from converting.
TEST_F(HostileInput, DamagedOrHugeCoversNeverStopTheSound) {
  const std::string Picture = Out("cover.png"), Huge = Out("huge.png");
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i testsrc=size=320x240 -frames:v 1 " + Quoted(Picture)));
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i testsrc2=size=6000x6000 -frames:v 1 " + Quoted(Huge)));
  const auto Song = [&](const std::string &Cover, const std::string &Target) {
    return RunFFmpeg(
        "-f lavfi -i sine=duration=1 -i " + Quoted(Cover) +
        " -map 0:a -map 1:v -c:a libmp3lame -c:v copy -disposition:v attached_pic -metadata title=Song " +
        Quoted(Target));
  };
  ASSERT_TRUE(Song(Picture, Out("song.mp3")));
  ASSERT_TRUE(Song(Huge, Out("huge.mp3")));
  // The cover's bytes after its PNG header inverted.
  const size_t At = ReadFile(Out("song.mp3")).find("IDAT");
  FlippedCopy(Out("song.mp3"), At, 512, Out("noise.mp3"));
  struct Row {
    std::string Source, Target, Codec;
  } Rows[] = {
      {Out("noise.mp3"), Out("noise-out.mp3"), "libmp3lame"},
      {Out("noise.mp3"), Out("noise.m4a"), "libfaac"},
      {Out("noise.mp3"), Out("noise.flac"), "flac"},
      {Out("huge.mp3"), Out("huge.m4a"), "libfaac"},
      {Out("huge.mp3"), Out("huge.mkv"), "libvorbis"},
      {Out("huge.mp3"), Out("huge-out.mp3"), "libmp3lame"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Target);
    const TConversion C = Convert(R.Source, R.Target, [&](TInputOptions &, TOutputOptions &O) {
      O.AudioCodec = R.Codec;
      O.VideoDisable = true;
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    EXPECT_EQ(C.Shortfall, "");
    EXPECT_EQ(
        RunCommand("ffmpeg -nostdin -v error -i " + Quoted(R.Target) + " -map 0:a -f null -", true).Output,
        "");
    const TProbedFile P = ProbeFile(R.Target);
    EXPECT_NEAR(Number(&P.Format, "duration"), 1.0, 0.1);
  }
}

TEST_F(HostileInput, AbsurdNumbersAreClampedOrRefused) {
  // Without any output time yet, the progress report says 0 ms, not what
  // 1e10 s would be as a 32-bit count.
  const TConversion Silent =
      Convert(Clips.AudioOnly, Out("silent.mp3"), Lines("", "aframes=0"), [](TFFmpeg &Task, TConversion &R) {
        Task.FOnProgress = [&R](TCustomFFmpeg &, const TProgressInfo &Info) { R.Progress.push_back(Info); };
      });
  ASSERT_FALSE(Silent.Progress.empty());
  EXPECT_EQ(Silent.Progress.back().CurrentDuration, 0);

  struct Row {
    std::string Lines, Target;
    std::string Error;  // empty: the conversion works
  } Rows[] = {
      {"muxdelay=1e30\nmuxpreload=1e30", Out("mux.mpg"), ""},
      {"muxdelay=-1e30\nmuxpreload=nan", Out("mux-negative.mpg"),
       "'nan' is not a valid floating point value"},
      {"muxdelay=1e300", Out("mux-huge.mpg"), "'1e300' is not a valid floating point value"},
      {"dts_delta_threshold=1e30", Out("threshold.avi"), ""},
      {"aq=1e30\nacodec=libmp3lame", Out("aq.avi"), ""},
      {"aspect=1e300", Out("aspect.avi"), "Incorrect aspect ratio specification."},
      {"padtop=2147483646", Out("pad.avi"),
       "new_video_stream fail: Picture size 320x2147483886 (frame size and padding) is too large"},
      {"padleft=2147483646\npadright=2147483646", Out("pads.avi"),
       "new_video_stream fail: Picture size 4294967612x240 (frame size and padding) is too large"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Lines);
    const TConversion C = Convert(Clips.VideoAudio, R.Target, Lines("", R.Lines));
    EXPECT_EQ(C.Error, R.Error);
    EXPECT_EQ(C.Ran, R.Error.empty());
    if (C.Ran) {
      EXPECT_EQ(DecodeErrors(R.Target), "");
    } else {
      EXPECT_FALSE(fs::exists(R.Target));
    }
  }
}

TEST_F(HostileInput, APictureTimeLeapingAwayIsNotFilledWithCopies) {
  // One video packet of an MPEG program stream whose presentation time has
  // its top bits set (about 23 hours on) while its decode time is sound.
  const std::string Sound = Out("sound.mpg"), Leaping = Out("leaping.mpg");
  ASSERT_TRUE(RunFFmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg1video -bf 2 -f mpeg " +
                        Quoted(Sound)));
  std::string Data = ReadFile(Sound);
  int Headers = 0;
  for (size_t At = Data.find(std::string("\0\0\1\xE0", 4)); At != std::string::npos;
       At = Data.find(std::string("\0\0\1\xE0", 4), At + 4)) {
    size_t Flags = At + 6;
    while (Flags < Data.size() && static_cast<unsigned char>(Data[Flags]) == 0xFF) ++Flags;  // stuffing
    if ((static_cast<unsigned char>(Data[Flags]) & 0xC0) == 0x40) Flags += 2;                // buffer size
    // PTS and DTS both present: set the top three bits of the PTS.
    if ((static_cast<unsigned char>(Data[Flags]) & 0xF0) == 0x30 && ++Headers == 3) {
      Data[Flags] = static_cast<char>(Data[Flags] | 0x0E);
      break;
    }
  }
  ASSERT_EQ(Headers, 3) << "no third video packet with both times";
  WriteFile(Leaping, Data);

  const TConversion C = Convert(Leaping, Out("leaping.avi"), Lines("", "vcodec=mpeg4\nt=5"));
  ASSERT_TRUE(C.Ran) << C.Error;
  EXPECT_EQ(C.FramesDup, 0);
  const TProbedFile P = ProbeFile(Out("leaping.avi"), true);
  EXPECT_NEAR(Number(P.Stream("video"), "nb_read_frames"), 25, 2) << "not five seconds of copies";
}

TEST_F(HostileInput, ASourceThatNeverAnswersIsGivenUpAfterTheTimeLimit) {
  TSilentServer Server;
  TFFmpeg Task;
  Task.PrepareOptions();
  Task.FOpenTimeLimit = std::chrono::milliseconds(300);
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Task.OpenInputFile(Server.Url()));
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
  EXPECT_EQ(Task.State().FErrorText, Server.Url() + ": Error while opening file (no answer within 300 ms)");
}

TEST_F(HostileInput, FailuresKeepTheLibrarysReason) {
  struct Row {
    std::string What, Source, Target, Format, Error;
  } Rows[] = {
      {"a full disk", Clips.TenSeconds, "/dev/full", "avi",
       "av_interleaved_write_frame(): Error while opening file (No space left on device)"},
      {"a folder as the source", Temp.Path(), Out("x.avi"), "",
       Temp.Path() + ": Error while opening file (Is a directory)"},
      {"a missing folder", Clips.VideoAudio, Out("no/x.avi"), "",
       "Could not open '" + Out("no/x.avi") + "': No such file or directory"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.What);
    const TConversion C =
        Convert(R.Source, R.Target, [&R](TInputOptions &, TOutputOptions &O) { O.FileFormat = R.Format; });
    EXPECT_FALSE(C.Ran);
    EXPECT_EQ(C.Error, R.Error);
  }
}

TEST_F(HostileInput, PermissionFailuresKeepTheLibrarysReason) {
  // Permissions do not hold back the superuser.
  if (geteuid() == 0) GTEST_SKIP() << "permissions cannot be tested as root";
  const std::string Locked = Out("locked.mp4"), ReadOnly = Out("read-only");
  fs::copy_file(Clips.VideoAudio, Locked);
  fs::permissions(Locked, fs::perms::none);
  fs::create_directory(ReadOnly);
  fs::permissions(ReadOnly, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(Convert(Locked, Out("x.avi")).Error, Locked + ": Error while opening file (Permission denied)");
  EXPECT_EQ(Convert(Clips.VideoAudio, ReadOnly + "/x.avi").Error,
            "Could not open '" + ReadOnly + "/x.avi': Permission denied");
  fs::permissions(ReadOnly, fs::perms::owner_all);
}

}  // namespace
}  // namespace korvane::test
