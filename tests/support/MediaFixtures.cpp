// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaFixtures.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "MediaCheck.h"
#include "TestEnvironment.h"

namespace korvane::test {

namespace {

// Bump when the clips change, so that clips made by an earlier build are
// made anew.
constexpr const char *ClipsVersion = "clips-7.ready";

std::string Quoted(const std::string &Path) { return "'" + Path + "'"; }

void Make(const std::string &Arguments) {
  if (!RunFFmpeg(Arguments)) throw std::runtime_error("ffmpeg could not make a clip: " + Arguments);
}

TMediaClips ClipNames(const std::string &Folder) {
  TMediaClips C;
  C.Folder = Folder;
  C.VideoAudio = Folder + "/video-audio.mp4";
  C.AudioOnly = Folder + "/audio-only.mp3";
  C.VideoOnly = Folder + "/video-only.avi";
  C.Widescreen = Folder + "/widescreen.avi";
  C.Subtitled = Folder + "/subtitled.mkv";
  C.UnknownDuration = Folder + "/unknown-duration.mkv";
  C.NotMedia = Folder + "/not-media.mp4";
  C.Empty = Folder + "/empty.mp4";
  C.Truncated = Folder + "/truncated.mp4";
  C.TruncatedHeader = Folder + "/truncated-header.mkv";
  C.RawH264 = Folder + "/elementary.h264";
  C.TenSeconds = Folder + "/ten-seconds.avi";
  C.TimestampJumps = Folder + "/timestamp-jumps.ts";
  C.FrameGap = Folder + "/frame-gap.mkv";
  C.FiftyFPS = Folder + "/fifty-fps.mkv";
  C.LateAudio = Folder + "/late-audio.mkv";
  C.Surround = Folder + "/surround.wav";
  C.NarrowBand = Folder + "/narrow-band.wav";
  C.LeftStrip = Folder + "/left-strip.mkv";
  C.MidGrey = Folder + "/mid-grey.mkv";
  C.OddWidth = Folder + "/odd-width.mkv";
  C.SweepVideo = Folder + "/sweep-video.avi";
  C.SweepAudio = Folder + "/sweep-audio.wav";
  C.LongHD = Folder + "/long-hd.avi";
  C.Portrait = Folder + "/portrait.mp4";
  for (const char *Format : {"yuv444p", "yuv420p10le", "rgba", "gray", "yuv422p"})
    C.PixelFormats.emplace_back(Format, Folder + "/pixels-" + Format + ".mkv");
  return C;
}

// The 5.1 program writes a display matrix only when copying, and reads
// the "rotate" value as the matrix's counter-clockwise angle: 270 gives
// the quarter turn clockwise that phones write.
void MakePortrait(const TMediaClips &C) {
  const std::string Lying = C.Folder + "/lying.mp4";
  Make(
      "-f lavfi -i color=gray:size=320x180:rate=25:duration=1,drawbox=x=0:y=0:w=64:h=36:color=white:t=fill "
      "-f lavfi -i sine=duration=1 -ac 2 -c:v libx264 -pix_fmt yuv420p -preset ultrafast -c:a aac " +
      Quoted(Lying));
  Make("-i " + Quoted(Lying) + " -c copy -metadata:s:v:0 rotate=270 " + Quoted(C.Portrait));
  std::filesystem::remove(Lying);
  // Every test of the clip means nothing without its matrix: checked here.
  const std::string Probe =
      "ffprobe -v error -select_streams v -show_entries stream_side_data=rotation -of csv=p=0 ";
  const std::string Rotation = RunCommand(Probe + Quoted(C.Portrait)).Output;
  if (Rotation.rfind("-90", 0) != 0) throw std::runtime_error("ffmpeg wrote no display matrix: " + Rotation);
}

// Three pieces of one second, each starting at its own time: the second
// starts where the first did (times go back), the third 100 s later.
void MakeTimestampJumps(const TMediaClips &C) {
  std::string Pieces;
  for (const char *Offset : {"0", "0", "100"}) {
    const std::string Piece = C.Folder + "/piece.ts";
    Make(std::string("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 "
                     "-c:v mpeg2video -c:a mp2 -output_ts_offset ") +
         Offset + " " + Quoted(Piece));
    Pieces += ReadFile(Piece);
  }
  WriteFile(C.TimestampJumps, Pieces);
}

void MakeClips(const TMediaClips &C) {
  Make(
      "-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i "
      "sine=frequency=440:sample_rate=44100:duration=2 "
      "-ac 2 -c:v mpeg4 -c:a aac -metadata title='Korvane Test' -metadata artist='Test Artist' "
      "-metadata album='Test Album' -metadata date=2008 -metadata track=3/12 -metadata genre=Rock "
      "-metadata comment='A comment' -metadata copyright='(c) Korvane' " +
      Quoted(C.VideoAudio));
  Make(
      "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -ac 1 -c:a libmp3lame "
      "-metadata title='Audio Title' -metadata artist='Audio Artist' -metadata date=1999 -metadata track=7 " +
      Quoted(C.AudioOnly));
  Make("-f lavfi -i testsrc=size=160x120:rate=30000/1001:duration=1 -c:v mpeg4 " + Quoted(C.VideoOnly));
  Make("-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -c:v mpeg4 -aspect 16:9 " + Quoted(C.Widescreen));

  const std::string Subtitles = C.Folder + "/subtitles.srt";
  WriteFile(Subtitles,
            "1\n00:00:00,000 --> 00:00:00,500\nHello\n\n2\n00:00:00,500 --> 00:00:01,000\nWorld\n");
  Make("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 -i " +
       Quoted(Subtitles) +
       " -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt -metadata:s:v:0 language=fre " +
       Quoted(C.Subtitled));

  // Written to a pipe the muxer cannot seek back to, so no duration is stored.
  const int Status = std::system(("ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
                                  "-i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4 -f matroska - > " +
                                  Quoted(C.UnknownDuration))
                                     .c_str());
  if (Status != 0) throw std::runtime_error("ffmpeg could not make the piped clip");

  // B-frames leave the first presentation time of an elementary stream unknown.
  Make(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -c:v libx264 -pix_fmt yuv420p -preset ultrafast "
      "-bf 2 " +
      Quoted(C.RawH264));

  Make(
      "-f lavfi -i testsrc=size=320x240:rate=25:duration=10 -f lavfi -i "
      "sine=frequency=330:sample_rate=44100:duration=10 "
      "-ac 2 -c:v mpeg4 -q:v 5 -c:a libmp3lame -b:a 128k " +
      Quoted(C.TenSeconds));

  MakeTimestampJumps(C);

  Make(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -vf \"select='not(between(n,10,12))'\" "
      "-fps_mode passthrough -c:v mpeg4 -q:v 3 " +
      Quoted(C.FrameGap));
  Make("-f lavfi -i testsrc=size=160x120:rate=50:duration=2 -c:v mpeg4 -q:v 3 " + Quoted(C.FiftyFPS));
  Make(
      "-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -itsoffset 0.5 -f lavfi "
      "-i sine=frequency=440:sample_rate=44100:duration=2 -ac 2 -c:v mpeg4 -c:a pcm_s16le " +
      Quoted(C.LateAudio));
  Make("-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -ac 6 -c:a pcm_s16le " +
       Quoted(C.Surround));
  Make("-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1 -c:a pcm_s16le " + Quoted(C.NarrowBand));
  Make(
      "-f lavfi -i color=black:size=640x480:rate=25:duration=1 -vf "
      "drawbox=x=0:y=0:w=8:h=480:color=white:t=fill "
      "-pix_fmt yuv420p -c:v ffv1 " +
      Quoted(C.LeftStrip));
  Make("-f lavfi -i color=0x808080:size=320x240:rate=25:duration=1 -pix_fmt yuv420p -c:v ffv1 " +
       Quoted(C.MidGrey));
  Make("-f lavfi -i testsrc=size=641x480:rate=25:duration=1 -pix_fmt yuv444p -c:v ffv1 " +
       Quoted(C.OddWidth));
  Make(
      "-f lavfi -i testsrc=size=640x480:rate=25:duration=5 -f lavfi -i "
      "sine=frequency=440:sample_rate=44100:duration=5 "
      "-ac 2 -c:v mpeg4 -q:v 3 -c:a pcm_s16le " +
      Quoted(C.SweepVideo));
  Make("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=5 -ac 2 -c:a pcm_s16le " +
       Quoted(C.SweepAudio));
  Make(
      "-f lavfi -i testsrc=size=1280x720:rate=25:duration=30 -f lavfi -i sine=duration=30 -c:v mpeg4 -q:v 8 "
      "-c:a libmp3lame " +
      Quoted(C.LongHD));
  MakePortrait(C);
  for (const auto &[Format, File] : C.PixelFormats)
    Make("-f lavfi -i testsrc=size=160x120:rate=25:duration=0.4 -pix_fmt " + Format + " -c:v ffv1 " +
         Quoted(File));

  WriteFile(C.NotMedia, "This is a plain text file.\nIt only carries a media extension.\n");
  WriteFile(C.Empty, "");
  const std::string Whole = ReadFile(C.VideoAudio);
  WriteFile(C.Truncated, Whole.substr(0, Whole.size() / 2));
  WriteFile(C.TruncatedHeader, ReadFile(C.Subtitled).substr(0, 200));
}

TMediaClips PrepareClips() {
  const std::string Folder = ExecutableDirectory() + "/test-media";
  const TMediaClips Clips = ClipNames(Folder);
  MakeClipsOnce(Folder, "lock", ClipsVersion, [&] { MakeClips(Clips); });
  return Clips;
}

}  // namespace

void MakeClipsOnce(const std::string &Folder, const std::string &LockName, const std::string &Version,
                   const std::function<void()> &Make) {
  std::filesystem::create_directories(Folder);
  const int Lock = open((Folder + "/" + LockName).c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  if (Lock < 0 || flock(Lock, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + Folder);
  const std::string Stamp = Folder + "/" + Version;
  try {
    if (!std::filesystem::exists(Stamp)) {
      Make();
      WriteFile(Stamp, "");
    }
  } catch (...) {
    close(Lock);
    throw;
  }
  close(Lock);
}

bool RunFFmpeg(const std::string &Arguments) {
  const std::string Command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + Arguments;
  return std::system(Command.c_str()) == 0;
}

const TMediaClips &MediaClips() {
  static const TMediaClips Clips = PrepareClips();
  return Clips;
}

}  // namespace korvane::test
