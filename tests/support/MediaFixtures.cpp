#include "MediaFixtures.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "TestEnvironment.h"

namespace korvane::test {

namespace {

std::string Quoted(const std::string &Path) { return "'" + Path + "'"; }

void Make(const std::string &Arguments) {
  if (!RunFFmpeg(Arguments)) throw std::runtime_error("ffmpeg could not make a clip: " + Arguments);
}

TMediaClips MakeClips() {
  static TTempDir Folder;  // lives until the test program ends
  TMediaClips C;
  C.Folder = Folder.Path();
  C.VideoAudio = Folder.File("video-audio.mp4");
  C.AudioOnly = Folder.File("audio-only.mp3");
  C.VideoOnly = Folder.File("video-only.avi");
  C.Widescreen = Folder.File("widescreen.avi");
  C.Subtitled = Folder.File("subtitled.mkv");
  C.UnknownDuration = Folder.File("unknown-duration.mkv");
  C.NotMedia = Folder.File("not-media.mp4");
  C.Empty = Folder.File("empty.mp4");
  C.Truncated = Folder.File("truncated.mp4");

  Make("-f lavfi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 "
       "-ac 2 -c:v mpeg4 -c:a aac -metadata title='Korvane Test' -metadata artist='Test Artist' "
       "-metadata album='Test Album' -metadata date=2008 -metadata track=3/12 -metadata genre=Rock "
       "-metadata comment='A comment' -metadata copyright='(c) Korvane' " + Quoted(C.VideoAudio));
  Make("-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -ac 1 -c:a libmp3lame "
       "-metadata title='Audio Title' -metadata artist='Audio Artist' -metadata date=1999 -metadata track=7 " +
       Quoted(C.AudioOnly));
  Make("-f lavfi -i testsrc=size=160x120:rate=30000/1001:duration=1 -c:v mpeg4 " + Quoted(C.VideoOnly));
  Make("-f lavfi -i testsrc=size=320x240:rate=25:duration=1 -c:v mpeg4 -aspect 16:9 " + Quoted(C.Widescreen));

  const std::string Subtitles = Folder.File("subtitles.srt");
  WriteFile(Subtitles, "1\n00:00:00,000 --> 00:00:00,500\nHello\n\n2\n00:00:00,500 --> 00:00:01,000\nWorld\n");
  Make("-f lavfi -i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=duration=1 -i " + Quoted(Subtitles) +
       " -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt -metadata:s:v:0 language=fre " + Quoted(C.Subtitled));

  // Written to a pipe the muxer cannot seek back to, so no duration is stored.
  const int Status = std::system(("ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
                                  "-i testsrc=size=160x120:rate=25:duration=1 -c:v mpeg4 -f matroska - > " +
                                  Quoted(C.UnknownDuration))
                                     .c_str());
  if (Status != 0) throw std::runtime_error("ffmpeg could not make the piped clip");

  WriteFile(C.NotMedia, "This is a plain text file.\nIt only carries a media extension.\n");
  WriteFile(C.Empty, "");
  {
    std::ifstream Source(C.VideoAudio, std::ios::binary);
    std::string Bytes((std::istreambuf_iterator<char>(Source)), std::istreambuf_iterator<char>());
    WriteFile(C.Truncated, Bytes.substr(0, Bytes.size() / 2));
  }
  return C;
}

}  // namespace

bool RunFFmpeg(const std::string &Arguments) {
  const std::string Command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + Arguments;
  return std::system(Command.c_str()) == 0;
}

const TMediaClips &MediaClips() {
  static const TMediaClips Clips = MakeClips();
  return Clips;
}

}  // namespace korvane::test
