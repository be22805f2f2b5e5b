// SPDX-License-Identifier: GPL-3.0-or-later
// The modern formats as a user gets them from korvane-convert: every track
// of a Matroska file kept, a copy whose packets are the source's own, the
// source's channels and rate kept, pictures of more than 8 bits made
// playable by H.264, a size that sets the height, a variable frame rate kept, and an
// encoder the libraries lack named in the failure. Checked with ffprobe and
// ffmpeg only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>
#include <vector>

#include "CommandRun.h"
#include "MediaCheck.h"
#include "MediaFixtures.h"
#include "TestEnvironment.h"

namespace korvane::test {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string &Path) { return "'" + Path + "'"; }

// Clips made once for this program.
struct TModernClips {
  TTempDir Folder;
  std::string Tracks;    // H.264 + eng mono AAC + fre 5.1 AC-3 ("Director") + ger SRT + font; chapters, title
  std::string Deep;      // 10-bit 4:2:0 H.265
  std::string Variable;  // 25 pictures at 25 fps, then 10 at 10 fps
  std::string Surround;  // 5.1 with side channels (as films have it) at 96 kHz, WAV
  std::string Covered;   // MP4 with a PNG cover
  std::string NoSize;    // MKV whose second picture track has no Video element (no size)
  std::string PackedB;   // MPEG-4 with B-frames in AVI: some pictures have no time
  std::string Master;    // 24-bit FLAC at 96 kHz, stereo
  std::string Quiet;     // 24-bit FLAC of a tone at -110 dBFS, below a 16-bit step
  std::string Song;      // tagged MP3 with a PNG cover
  std::string Phone;     // a phone's MOV: shot upright, dated, placed, make and model, two chapters
  std::string Pictures;  // 3 s of film with a DVD picture subtitle shown at 0-0.8 s and 1.5-2.3 s
  std::string BadPictures;  // the same with both subtitle pictures damaged
};

// Two DVD subtitle pictures (a 200x40 bar in colour 1, each shown 0.8 s) at
// 0.5 s and 2 s, as an MPEG program stream: no encoder of the ffmpeg
// program draws picture subtitles, so they are written here.
std::string DvdSubtitles() {
  const auto Word = [](int Value) {
    return std::string{static_cast<char>(Value >> 8), static_cast<char>(Value & 255)};
  };
  const auto Picture = [&](int ShownTicks) {
    constexpr int X = 60, Y = 180, W = 200, H = 40;
    std::string Lines;
    for (int I = 0; I < H / 2; ++I) Lines += std::string("\x00\x01", 2);  // a line of colour 1 to its end
    const int Top = 4, Bottom = 4 + static_cast<int>(Lines.size()),
              First = Bottom + static_cast<int>(Lines.size());
    const int X2 = X + W - 1, Y2 = Y + H - 1;
    const std::string Area{
        static_cast<char>(X >> 4), static_cast<char>((X & 15) << 4 | X2 >> 8), static_cast<char>(X2 & 255),
        static_cast<char>(Y >> 4), static_cast<char>((Y & 15) << 4 | Y2 >> 8), static_cast<char>(Y2 & 255)};
    const std::string Commands = std::string("\x03\x01\x23\x04\xff\xf0\x05", 7) + Area + "\x06" + Word(Top) +
                                 Word(Bottom) + "\x01\xff";
    const int Second = First + 4 + static_cast<int>(Commands.size());
    const std::string Body =
        Lines + Lines + Word(0) + Word(Second) + Commands + Word(ShownTicks) + Word(Second) + "\x02\xff";
    return Word(4 + static_cast<int>(Body.size())) + Word(First) + Body;
  };
  std::string Stream;
  for (const int64_t Pts : {int64_t{45000}, int64_t{180000}}) {
    const auto Stamp = [&](int Prefix, int64_t T) {
      return std::string{static_cast<char>(Prefix << 4 | (T >> 29 & 14) | 1),
                         static_cast<char>(T >> 22 & 255), static_cast<char>((T >> 14 & 254) | 1),
                         static_cast<char>(T >> 7 & 255), static_cast<char>((T << 1 & 254) | 1)};
    };
    const std::string Pack = std::string("\x00\x00\x01\xba", 4) +
                             std::string{static_cast<char>(0x44 | (Pts >> 27 & 0x38) | (Pts >> 28 & 3)),
                                         static_cast<char>(Pts >> 20 & 255),
                                         static_cast<char>((Pts >> 12 & 0xf8) | 4 | (Pts >> 13 & 3)),
                                         static_cast<char>(Pts >> 5 & 255),
                                         static_cast<char>((Pts << 3 & 0xf8) | 4),
                                         1,
                                         1,
                                         static_cast<char>(0x89),
                                         static_cast<char>(0xc3),
                                         static_cast<char>(0xf8)};
    const std::string Payload = "\x20" + Picture(static_cast<int>(0.8 * 90000 / 1024));
    const std::string Header = std::string("\x81\x80\x05", 3) + Stamp(2, Pts);
    Stream += Pack + std::string("\x00\x00\x01\xbd", 4) +
              Word(static_cast<int>(Header.size() + Payload.size())) + Header + Payload;
  }
  return Stream + std::string("\x00\x00\x01\xb9", 4);
}

// Data with the size and the first control word of every subtitle picture
// made nonsense (each picture begins 4 bytes before its run of lines).
std::string WithDamagedSubtitlePictures(std::string Data) {
  const std::string Run("\x00\x01\x00\x01\x00\x01\x00\x01", 8);
  for (size_t At = Data.find(Run); At != std::string::npos && At >= 4; At = Data.find(Run, At + 200))
    Data.replace(At - 4, 4, "\xff\xff\xff\xff");
  return Data;
}

// Data with its second Matroska Video element (ID 0xE0 with a PixelWidth,
// 0xB0, as its first child) turned into a Void element (0xEC).
std::string WithoutSecondVideoElement(std::string Data) {
  int Seen = 0;
  for (size_t At = Data.find("\x16\x54\xae\x6b"); At + 3 < Data.size(); ++At)
    if (Data[At] == '\xe0' && (Data[At + 2] == '\xb0' || Data[At + 3] == '\xb0') && ++Seen == 2) {
      Data[At] = '\xec';
      return Data;
    }
  throw std::runtime_error("no second Video element");
}

// The sound clips: 5.1 at 96 kHz, a 24-bit master, a very quiet one, and
// a tagged song with a cover; false when one cannot be made.
bool MakeSoundClips(const TModernClips &C) {
  return RunFFmpeg(
             "-f lavfi -i sine=f=440:r=96000 -t 2 -af \"pan=5.1(side)|FL=c0|FR=c0|FC=c0|LFE=c0|SL=c0|SR=c0\" "
             "-c:a pcm_s24le " +
             Quoted(C.Surround)) &&
         RunFFmpeg(
             "-f lavfi -i \"aevalsrc='0.6*sin(2*PI*997*t)|0.4*sin(2*PI*1499*t)':s=96000:d=2\" "
             "-c:a flac -sample_fmt s32 -bits_per_raw_sample 24 " +
             Quoted(C.Master)) &&
         RunFFmpeg(
             "-f lavfi -i \"aevalsrc='0.0000032*sin(2*PI*1000*t)':s=48000:d=2\" -c:a flac -sample_fmt s32 "
             "-bits_per_raw_sample 24 " +
             Quoted(C.Quiet)) &&
         RunFFmpeg(
             "-f lavfi -i sine=duration=2 -f lavfi -i color=blue:size=64x64 -map 0:a -map 1:v -t 2 "
             "-frames:v 1 -c:a libmp3lame -c:v png -disposition:v attached_pic -metadata title=Song "
             "-metadata artist=Band -metadata album=Record -metadata album_artist=Band -metadata track=3/9 "
             "-metadata date=2021 -metadata genre=Rock -metadata composer=Writer -metadata disc=1/2 " +
             Quoted(C.Song));
}

const TModernClips &ModernClips() {
  static const TModernClips *Clips = [] {
    auto *C = new TModernClips;
    const std::string Dir = C->Folder.Path();
    C->Tracks = Dir + "/tracks.mkv";
    C->Deep = Dir + "/deep.mkv";
    C->Variable = Dir + "/variable.mp4";
    C->Surround = Dir + "/surround.wav";
    C->Covered = Dir + "/covered.mp4";
    C->NoSize = Dir + "/no-size.mkv";
    C->PackedB = Dir + "/packed-b.avi";
    C->Master = Dir + "/master.flac";
    C->Quiet = Dir + "/quiet.flac";
    C->Song = Dir + "/song.mp3";
    C->Phone = Dir + "/phone.mov";
    C->Pictures = Dir + "/pictures.mkv";
    C->BadPictures = Dir + "/bad-pictures.mkv";
    WriteFile(Dir + "/subtitles.vob", DvdSubtitles());
    const std::string Subtitles = Dir + "/subs.srt", Tags = Dir + "/tags.txt";
    {
      std::FILE *F = std::fopen(Subtitles.c_str(), "w");
      std::fputs("1\n00:00:00,500 --> 00:00:01,500\nHello\n\n2\n00:00:02,000 --> 00:00:02,800\nAgain\n", F);
      std::fclose(F);
      F = std::fopen(Tags.c_str(), "w");
      std::fputs(
          ";FFMETADATA1\ntitle=A Holiday\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1500\ntitle=Arrival\n"
          "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=3000\ntitle=Beach\n",
          F);
      std::fclose(F);
    }
    bool Made =
        RunFFmpeg(
            "-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine=f=440:r=48000 "
            "-f lavfi -i sine=f=660:r=44100 -i " +
            Quoted(Subtitles) + " -i " + Quoted(Tags) +
            " -attach /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -map 0:v -map 1:a -map 2:a -map 3:s "
            "-map_metadata 4 -map_chapters 4 -t 3 -c:v libx264 -preset ultrafast -c:a:0 aac "
            "-c:a:1 ac3 -ac:a:1 6 -c:s srt -metadata:s:a:0 language=eng -metadata:s:a:1 language=fre "
            "-metadata:s:a:1 title=Director -metadata:s:s:0 language=ger "
            "-metadata:s:t:0 mimetype=application/x-truetype-font " +
            Quoted(C->Tracks)) &&
        RunFFmpeg(
            "-f lavfi -i testsrc2=size=320x240:rate=25 -t 1 -pix_fmt yuv420p10le -c:v libx265 "
            "-x265-params log-level=error " +
            Quoted(C->Deep)) &&
        RunFFmpeg(
            "-f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 35 "
            "-vf \"setpts='if(lt(N,25),N/25,1+(N-25)/10)/TB'\" -vsync vfr -c:v libx264 -preset ultrafast " +
            Quoted(C->Variable)) &&
        RunFFmpeg(
            "-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine -f lavfi -i color=red:size=64x64 "
            "-map 0:v -map 1:a -map 2:v -t 1 -frames:v:1 1 -c:v:0 libx264 -c:v:1 png "
            "-disposition:v:1 attached_pic -c:a aac " +
            Quoted(C->Covered)) &&
        RunFFmpeg(
            "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i testsrc=size=160x120:rate=25 "
            "-f lavfi -i sine=duration=1 -map 0 -map 1 -map 2 -frames:v:1 2 -c:v:0 libx264 -c:v:1 rawvideo "
            "-pix_fmt:v:1 yuv420p -c:a aac " +
            Quoted(Dir + "/sized.mkv")) &&
        RunFFmpeg(
            "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -f lavfi -i sine=duration=2 -c:v mpeg4 -bf "
            "2 "
            "-vtag DX50 -c:a libmp3lame " +
            Quoted(C->PackedB)) &&
        MakeSoundClips(*C) &&
        RunFFmpeg(
            "-f lavfi -i testsrc2=size=320x180:rate=30:duration=3 -f lavfi -i sine=duration=3 -i " +
            Quoted(Tags) +
            " -map 0 -map 1 -map_chapters 2 -c:v libx264 -preset ultrafast -c:a aac -metadata title=Beach "
            "-metadata location=+51.5000-000.1000/ -metadata make=Phone -metadata model=P7 " +
            Quoted(Dir + "/lying.mov")) &&
        RunFFmpeg("-i " + Quoted(Dir + "/lying.mov") +
                  " -map 0:v -map 0:a -map_chapters 0 -c copy -metadata:s:v:0 rotate=90 "
                  "-metadata creation_time=2024-06-01T10:00:00Z " +
                  Quoted(C->Phone));
    Made =
        Made && RunFFmpeg("-f lavfi -i testsrc2=size=320x240:rate=25:duration=3 -i " +
                          Quoted(Dir + "/subtitles.vob") +
                          " -map 0 -map 1 -c:v libx264 -preset ultrafast -c:s copy " + Quoted(C->Pictures));
    if (!Made) throw std::runtime_error("ffmpeg could not make the modern clips");
    WriteFile(C->BadPictures, WithDamagedSubtitlePictures(ReadFile(C->Pictures)));
    WriteFile(C->NoSize, WithoutSecondVideoElement(ReadFile(Dir + "/sized.mkv")));
    return C;
  }();
  return *Clips;
}

class ModernFormats : public ::testing::Test {
 protected:
  const TModernClips &Clips = ModernClips();
  TTempDir Temp;

  // What the last conversion wrote on its standard output and error.
  std::string Said;

  // Converts Source with the profile and choices; the output's path, or
  // empty with the failure added.
  std::string Convert(const std::string &Profile, const std::string &Source,
                      const std::string &Choices = "") {
    const TCommandResult R =
        RunCommand("'" + ExecutableDirectory() + "/korvane-convert' -p " + Quoted(Profile) + " -o " +
                       Quoted(Temp.Path()) + " " + Choices + " " + Quoted(Source),
                   true);
    Said = R.Output;
    EXPECT_EQ(R.Status, 0) << R.Output;
    for (const auto &Entry : fs::directory_iterator(Temp.Path())) return Entry.path().string();
    return "";
  }
};

std::vector<std::string> Column(const TProbedFile &P, const std::string &Key) {
  std::vector<std::string> Values;
  for (const auto &Stream : P.Streams) Values.push_back(Stream.count(Key) ? Stream.at(Key) : "-");
  return Values;
}

// "start end title" of each chapter, seconds.
std::vector<std::string> Chapters(const std::string &File) {
  return Lines(RunCommand("ffprobe -v error -show_entries chapter=start_time,end_time:chapter_tags=title -of "
                          "csv=p=0 " +
                          Quoted(File))
                   .Output);
}

TEST_F(ModernFormats, EveryTrackKeepsTracksLanguagesChannelsChaptersAndTitle) {
  const std::string Output = Convert("MKV - Matroska Video, every track (*.mkv)", Clips.Tracks);
  const TProbedFile P = ProbeFile(Output);
  using Texts = std::vector<std::string>;
  ASSERT_EQ(P.Streams.size(), 5u);
  EXPECT_EQ(Column(P, "codec_type"), (Texts{"video", "audio", "audio", "subtitle", "attachment"}));
  EXPECT_EQ(Column(P, "codec_name"), (Texts{"h264", "aac", "aac", "subrip", "ttf"}));
  EXPECT_EQ(Column(P, "tags.language"), (Texts{"-", "eng", "fre", "ger", "-"}));
  EXPECT_EQ(Column(P, "channels"), (Texts{"-", "1", "6", "-", "-"}));
  EXPECT_EQ(Column(P, "sample_rate"), (Texts{"-", "48000", "44100", "-", "-"}));
  EXPECT_EQ(P.Streams[2].at("tags.title"), "Director");
  EXPECT_EQ(P.Streams[4].at("tags.filename"), "DejaVuSans.ttf");
  EXPECT_EQ(P.Format.at("tags.title"), "A Holiday");
  EXPECT_EQ(Chapters(Output), Chapters(Clips.Tracks));
  EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + Quoted(Output) + " -map 0:v -map 0:a -f null -", true)
                .Output,
            "");
}

// The copy's packets are the source's: the ffmpeg program's stream copy
// of the source gives the same checksum for every stream.
TEST_F(ModernFormats, CopyAllKeepsEveryPacketChapterAndTag) {
  const std::string Output = Convert("MKV - Copy every stream, no re-encoding (*.mkv)", Clips.Tracks);
  const auto Hashes = [](const std::string &File) {
    return RunCommand("ffmpeg -nostdin -v error -i " + Quoted(File) +
                      " -map 0 -c copy -f streamhash -hash md5 -")
        .Output;
  };
  EXPECT_EQ(Hashes(Output), Hashes(Clips.Tracks));
  const TProbedFile P = ProbeFile(Output), Source = ProbeFile(Clips.Tracks);
  EXPECT_EQ(Column(P, "codec_name"), Column(Source, "codec_name"));
  EXPECT_EQ(Column(P, "tags.language"), Column(Source, "tags.language"));
  EXPECT_EQ(P.Streams[2].at("tags.title"), "Director");
  EXPECT_EQ(P.Format.at("tags.title"), "A Holiday");
  EXPECT_EQ(Chapters(Output), Chapters(Clips.Tracks));

  // An MP4's cover becomes the Matroska file's attached cover.
  fs::remove(Output);
  const TProbedFile Covered =
      ProbeFile(Convert("MKV - Copy every stream, no re-encoding (*.mkv)", Clips.Covered));
  ASSERT_EQ(Covered.Streams.size(), 3u);
  EXPECT_EQ(Covered.Streams[2].at("codec_name"), "png");
  EXPECT_EQ(Covered.Streams[2].at("disposition.attached_pic"), "1");
  EXPECT_EQ(Covered.Streams[2].at("tags.filename"), "cover.png");
}

// What a choice keeps or makes of the source, one field of one stream.
TEST_F(ModernFormats, ChoicesKeepOrMakeWhatTheyName) {
  struct Row {
    std::string Profile, Source, Choices, Type, Key, Expected;
  } Rows[] = {
      // "Original" keeps 5.1 at 96 kHz; Opus takes it with back channels.
      {"FLAC - Free Lossless Audio (*.flac)", Clips.Surround, "", "audio", "channel_layout", "5.1(side)"},
      {"FLAC - Free Lossless Audio (*.flac)", Clips.Surround, "", "audio", "sample_rate", "96000"},
      {"OPUS - Opus Audio (*.opus)", Clips.Surround, "", "audio", "channel_layout", "5.1"},
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", Clips.Tracks, "--channels Original", "audio", "channels", "1"},
      {"MKV - Matroska Video, every track (*.mkv)", Clips.Tracks, "--channels Stereo --audio-codec Opus",
       "audio", "channels", "2"},
      // More than 8 bits: H.264 makes what every player takes, H.265 keeps 10.
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", Clips.Deep, "", "video", "pix_fmt", "yuv420p"},
      {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)", Clips.Deep, "", "video", "pix_fmt", "yuv420p10le"},
      {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)", Clips.Deep, "", "video", "codec_tag_string", "hvc1"},
      // The H.265 tag is the film's: the cover beside it keeps its own.
      {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)", Clips.Covered, "", "video", "codec_tag_string", "hvc1"},
      // A size sets the height; the width keeps the shape (4:3 here).
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", Clips.Tracks, "--size '1280 x 720 (720p)'", "video", "width",
       "960"},
      {"WebM - VP9 Video, Opus Audio (*.webm)", Clips.Tracks, "--size '854 x 480 (480p)'", "video", "width",
       "640"},
      // "Auto" keeps a variable rate: 35 pictures, none repeated to fill
      // the slower part as a fixed rate of 25 would.
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", Clips.Variable, "", "video", "nb_frames", "35"},
      // A cover is never the film: the film keeps its size and rate.
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", Clips.Covered, "", "video", "width", "320"},
      {"WebM - AV1 Video, Opus Audio (*.webm)", Clips.Covered, "", "video", "width", "320"},
      {"AVI - XviD Video (*.avi)", Clips.Covered, "", "video", "r_frame_rate", "25/1"},
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", Clips.Covered, "--option vframes=1", "video", "nb_frames",
       "1"},
      // Nor is a picture track without a size.
      {"MKV - Matroska Video, every track (*.mkv)", Clips.NoSize, "", "video", "width", "320"},
      {"WebM - AV1 Video, Opus Audio (*.webm)", Clips.NoSize, "", "video", "height", "240"},
      // Pictures without times of their own get them for the copy.
      {"MKV - Copy every stream, no re-encoding (*.mkv)", Clips.PackedB, "", "video", "codec_name", "mpeg4"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile + " " + R.Choices + " " + R.Key);
    fs::remove_all(Temp.Path());
    fs::create_directory(Temp.Path());
    const std::string Output = Convert(R.Profile, R.Source, R.Choices);
    const TProbedFile P = ProbeFile(Output);
    const auto *Stream = P.Stream(R.Type);
    ASSERT_NE(Stream, nullptr);
    EXPECT_EQ(Stream->count(R.Key) ? Stream->at(R.Key) : "", R.Expected);
    EXPECT_EQ(DecodeErrors(Output), "");
  }
}

// The decoded samples of a file, as an md5 of their 32-bit form.
std::string SampleHash(const std::string &File) {
  return RunCommand("ffmpeg -nostdin -v error -i " + Quoted(File) + " -map 0:a -c:a pcm_s32le -f md5 -")
      .Output;
}

// Lossless outputs keep every sample, 24 bits too, and lossy encoders get
// the source's precision: a tone below a 16-bit step still reaches them.
// The long-standing WAV row keeps writing 16 bits.
TEST_F(ModernFormats, SoundKeepsTheSourcesPrecision) {
  const std::string Flac = "FLAC - Free Lossless Audio (*.flac)";
  const TTempDir Sources;
  const std::string Sixteen = Sources.File("sixteen.flac");
  ASSERT_TRUE(
      RunFFmpeg("-i " + Quoted(Clips.Master) + " -ar 44100 -c:a flac -sample_fmt s16 " + Quoted(Sixteen)));
  struct Row {
    std::string Profile, Source, Choices;
    std::string SampleFormat;  // of the output
    bool SameSamples;          // the decoded samples equal the source's
    bool ToneHeard;            // the quiet tone, lifted by 60 dB, is there
  } Rows[] = {
      {Flac, Clips.Master, "", "s32", true, false},
      {Flac, Sixteen, "", "s16", true, false},
      {"MKV - Matroska Video, every track (*.mkv)", Clips.Master, "--audio-codec FLAC", "s32", true, false},
      {"WAV - Waveform Audio (*.wav)", Clips.Master, "", "s16", false, false},
      {"OPUS - Opus Audio (*.opus)", Clips.Quiet, "", "fltp", false, true},
      {"M4A - Mpeg4 Audio File (*.m4a)", Clips.Quiet, "", "fltp", false, true},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile + " " + R.Source);
    fs::remove_all(Temp.Path());
    fs::create_directory(Temp.Path());
    const std::string Output = Convert(R.Profile, R.Source, R.Choices);
    const TProbedFile Probed = ProbeFile(Output);
    const auto *Sound = Probed.Stream("audio");
    ASSERT_NE(Sound, nullptr);
    EXPECT_EQ(Sound->at("sample_fmt"), R.SampleFormat);
    if (R.SameSamples) {
      EXPECT_EQ(SampleHash(Output), SampleHash(R.Source));
    }
    if (R.ToneHeard) {
      const std::string Levels =
          RunCommand("ffmpeg -nostdin -i " + Quoted(Output) + " -af volume=60dB,volumedetect -f null - 2>&1")
              .Output;
      const size_t Mean = Levels.find("mean_volume: ");
      ASSERT_NE(Mean, std::string::npos) << Levels;
      EXPECT_GT(std::stod(Levels.substr(Mean + 13)), -70) << "the tone is there, not 16-bit silence";
    }
  }
}

// A tag of the file, or of its first stream where the container keeps its
// tags there (Ogg's comments); names in any case ("TITLE" in Matroska).
std::string TagOf(const TProbedFile &P, const std::string &Name) {
  const auto Lower = [](std::string Text) {
    for (char &C : Text) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return Text;
  };
  for (const auto *Fields : {&P.Format, P.Streams.empty() ? nullptr : &P.Streams[0]})
    if (Fields)
      for (const auto &[Key, Value] : *Fields)
        if (Lower(Key) == "tags." + Lower(Name)) return Value;
  return "(none)";
}

// A file keeps what it says about itself: a song its tags and cover (as a
// cover, never a picture track; left out where the container has no place
// for one, and the end line says so), a phone's clip its date, place, make,
// model, title and chapters.
TEST_F(ModernFormats, WhatASourceSaysAboutItselfIsKept) {
  const std::string Mp4 = "MP4 - H.264 Video, AAC Audio (*.mp4)";
  const std::string Every = "MKV - Matroska Video, every track (*.mkv)";
  const std::string Shot = "creation_time=2024-06-01T10:00:00.000000Z";
  struct Row {
    std::string Profile, Source;
    std::vector<std::string> Tags;  // "key=value" of the output's format tags
    std::string Cover;              // disposition.attached_pic of the second stream; "-": none
    size_t Chapters;
    std::string Note = "";  // what the end line says was left out; empty: nothing
  } Rows[] = {
      {"MP3 - Mpeg Layer3 Audio (*.mp3)",
       Clips.Song,
       {"title=Song", "artist=Band", "album=Record", "album_artist=Band", "track=3/9", "date=2021",
        "genre=Rock", "composer=Writer", "disc=1/2"},
       "1",
       0},
      {"M4A - Mpeg4 Audio File (*.m4a)",
       Clips.Song,
       {"title=Song", "artist=Band", "album=Record", "track=3/9"},
       "1",
       0},
      {"FLAC - Free Lossless Audio (*.flac)",
       Clips.Song,
       {"TITLE=Song", "ARTIST=Band", "ALBUM=Record"},
       "1",
       0},
      {"OGG - Ogg Vorbis Audio (*.ogg)",
       Clips.Song,
       {"TITLE=Song", "ARTIST=Band"},
       "-",
       0,
       "the cover was left out: Ogg files cannot hold one"},
      {"OPUS - Opus Audio (*.opus)",
       Clips.Song,
       {"TITLE=Song", "ARTIST=Band", "ALBUM=Record"},
       "-",
       0,
       "the cover was left out: Opus files cannot hold one"},
      {"WebM - VP9 Video, Opus Audio (*.webm)",
       Clips.Pictures,
       {},
       "-",
       0,
       "subtitle track 1 (dvd_subtitle) was left out: WebM files cannot hold picture subtitles"},
      {Every, Clips.Song, {"title=Song", "ARTIST=Band"}, "1", 0},
      {Mp4,
       Clips.Phone,
       {"title=Beach", Shot, "location=+51.5000-000.1000/", "make=Phone", "model=P7"},
       "0",
       2},
      {Every, Clips.Phone, {"title=Beach", Shot, "LOCATION=+51.5000-000.1000/", "MAKE=Phone"}, "0", 2},
      {"WebM - VP9 Video, Opus Audio (*.webm)",
       Clips.Phone,
       {"title=Beach", "LOCATION=+51.5000-000.1000/"},
       "0",
       2},
      {"3GP - Mobile Video Format (*.3gp)", Clips.Phone, {Shot}, "0", 0},
      {"MOV - QuickTime Video (*.mov)", Clips.Phone, {Shot, "title=Beach"}, "0", 2},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile + " " + R.Source);
    fs::remove_all(Temp.Path());
    fs::create_directory(Temp.Path());
    const std::string Output = Convert(R.Profile, R.Source);
    const TProbedFile P = ProbeFile(Output);
    for (const std::string &Tag : R.Tags) {
      const size_t Equal = Tag.find('=');
      EXPECT_EQ(TagOf(P, Tag.substr(0, Equal)), Tag.substr(Equal + 1)) << Tag;
    }
    ASSERT_FALSE(P.Streams.empty());
    const bool Second = P.Streams.size() > 1 && P.Streams[1].count("disposition.attached_pic");
    EXPECT_EQ(Second ? P.Streams[1].at("disposition.attached_pic") : "-", R.Cover);
    EXPECT_EQ(Chapters(Output).size(), R.Chapters);
    EXPECT_EQ(DecodeErrors(Output), "");
    const std::string Done = "done     " + R.Source + " -> " + Output;
    EXPECT_NE(Said.find(Done + (R.Note.empty() ? "\n" : " (" + R.Note + ")\n")), std::string::npos) << Said;
  }
  // The end event says it too.
  fs::remove_all(Temp.Path());
  fs::create_directory(Temp.Path());
  const std::string Events = Temp.File("events.json");
  ASSERT_EQ(RunCommand("'" + ExecutableDirectory() +
                           "/korvane-convert' --json -p 'OPUS - Opus Audio (*.opus)' -o " +
                           Quoted(Temp.Path()) + " " + Quoted(Clips.Song) + " >" + Quoted(Events),
                       false)
                .Status,
            0);
  const auto Lines = JsonEvents(Events);
  EXPECT_TRUE(std::any_of(Lines.begin(), Lines.end(), [](const auto &E) {
    return E.at("event") == "end" && E.count("note") &&
           E.at("note") == "the cover was left out: Opus files cannot hold one";
  }));
}

// The modern MP4 and WebM profiles keep every audio track (in order, with
// languages and names) and every text subtitle in the container's own text
// format; --audio-tracks and --subtitles choose which and in what order.
TEST_F(ModernFormats, TracksAreKeptOrChosen) {
  const std::string Mp4 = "MP4 - H.264 Video, AAC Audio (*.mp4)";
  using Texts = std::vector<std::string>;
  struct Row {
    std::string Profile, Choices;
    Texts Codecs, Languages;
  } Rows[] = {
      {Mp4, "", {"h264", "aac", "aac", "mov_text"}, {"und", "eng", "fre", "ger"}},
      {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)",
       "",
       {"hevc", "aac", "aac", "mov_text"},
       {"und", "eng", "fre", "ger"}},
      {"WebM - VP9 Video, Opus Audio (*.webm)",
       "",
       {"vp9", "opus", "opus", "webvtt"},
       {"-", "eng", "fre", "ger"}},
      {Mp4, "--audio-tracks 2,1", {"h264", "aac", "aac", "mov_text"}, {"und", "fre", "eng", "ger"}},
      {Mp4, "--audio-tracks 2 --subtitles none", {"h264", "aac"}, {"und", "fre"}},
      {Mp4, "--audio-tracks none --subtitles 1", {"h264", "mov_text"}, {"und", "ger"}},
      // The long-standing rows keep one sound track: the one chosen.
      {"MP4 - MPEG4 Video (*.mp4)", "--audio-tracks 2", {"mpeg4", "aac"}, {"und", "fre"}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile + " " + R.Choices);
    fs::remove_all(Temp.Path());
    fs::create_directory(Temp.Path());
    const std::string Output = Convert(R.Profile, Clips.Tracks, R.Choices);
    TProbedFile P = ProbeFile(Output);
    // MP4 keeps the chapters as a track of data of its own.
    std::erase_if(P.Streams, [](const auto &Stream) { return Stream.at("codec_type") == "data"; });
    EXPECT_EQ(Column(P, "codec_name"), R.Codecs);
    EXPECT_EQ(Column(P, "tags.language"), R.Languages);
    EXPECT_EQ(DecodeErrors(Output), "");
  }
  // An MP4 names a track by its handler.
  fs::remove_all(Temp.Path());
  fs::create_directory(Temp.Path());
  EXPECT_EQ(ProbeFile(Convert(Mp4, Clips.Tracks)).Streams[2].at("tags.handler_name"), "Director");
}

using TSpans = std::vector<std::pair<double, double>>;  // from, to: seconds

// The parts of the source's Spans inside the range from Start to End, on
// the output's clock; a part shorter than a frame is none.
TSpans SpansInside(double Start, double End, const TSpans &Spans) {
  TSpans Parts;
  for (const auto &[From, To] : Spans)
    if (std::min(To, End) - std::max(From, Start) > 0.04)
      Parts.emplace_back(std::max(From, Start) - Start, std::min(To, End) - Start);
  return Parts;
}

// Each "from,to" line of Texts against Parts, within 0.05 s (a range
// counts from the first picture, and Matroska moves every stream by the
// sound encoder's lead-in).
void ExpectSpans(const std::vector<std::string> &Texts, const TSpans &Parts) {
  ASSERT_EQ(Texts.size(), Parts.size()) << ::testing::PrintToString(Texts);
  for (size_t I = 0; I < Parts.size(); ++I) {
    double From = 0, To = 0;
    ASSERT_EQ(std::sscanf(Texts[I].c_str(), "%lf,%lf", &From, &To), 2) << Texts[I];
    EXPECT_NEAR(From, Parts[I].first, 0.05) << Texts[I];
    EXPECT_NEAR(To, Parts[I].second, 0.05) << Texts[I];
  }
}

// A range is cut to the frame: its first picture is the source's picture at
// the start, and it lasts end - start within a frame; its subtitles and
// chapters are cut to it. The preview is the picture the conversion makes,
// at the size the output gets.
TEST_F(ModernFormats, ARangeAndAPreviewShowWhatTheOutputHolds) {
  const std::string Output =
      Convert("MP4 - H.264 Video, AAC Audio (*.mp4)", Clips.Tracks, "--start 1.4 --end 2.4");
  const TProbedFile Cut = ProbeFile(Output);
  ASSERT_NE(Cut.Stream("video"), nullptr);
  EXPECT_NEAR(Number(Cut.Stream("video"), "duration"), 1.0, 0.04 + 1e-6);
  // How alike the source's picture at At and the first picture of Made are.
  const auto Similarity = [&](const std::string &At, const std::string &Made) {
    const std::string Text =
        RunCommand("ffmpeg -nostdin -ss " + At + " -i " + Quoted(Clips.Tracks) + " -i " + Quoted(Made) +
                   " -filter_complex \"[0:v]trim=end_frame=1[a];[1:v]trim=end_frame=1[b];[a][b]ssim\" -f "
                   "null - 2>&1")
            .Output;
    const size_t All = Text.find("All:");
    return All == std::string::npos ? 0.0 : std::stod(Text.substr(All + 4));
  };
  EXPECT_GT(Similarity("1.4", Output), Similarity("1.32", Output));
  EXPECT_GT(Similarity("1.4", Output), Similarity("1.48", Output));
  // Every stream of the range starts and ends with it, sound and subtitles
  // kept as they are too: a subtitle or chapter on screen at the start or
  // at the end is cut to what lies inside, chapters outside it go, and
  // nothing from outside shifts the output or makes it longer. A start
  // between two frames begins with the picture shown then, and the
  // picture times still rise strictly.
  const std::string Mp4 = "MP4 - H.264 Video, AAC Audio (*.mp4)",
                    Mkv = "MKV - Matroska Video, every track (*.mkv)";
  struct Row {
    std::string Profile, Range;
    double Start, End;   // the range, seconds
    const char *Before;  // -ss of the picture before the one shown at the start; none: not compared
  } Rows[] = {
      {Mp4, "--start 1.4 --end 2.4", 1.4, 2.4, nullptr},
      {Mkv, "--start 1.4 --end 2.4", 1.4, 2.4, nullptr},
      {Mp4, "--start 1.42 --end 2.42", 1.42, 2.42, "1.36"},
      {Mkv, "--start 1.42", 1.42, 3, "1.36"},
      {Mkv, "--end 2.4", 0, 2.4, nullptr},
      {"WebM - VP9 Video, Opus Audio (*.webm)", "--start 1.42 --end 2.42", 1.42, 2.42, "1.36"},
      {"WebM - AV1 Video, Opus Audio (*.webm)", "--start 1.42 --end 2.42", 1.42, 2.42, "1.36"},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Profile + " " + R.Range);
    fs::remove_all(Temp.Path());
    fs::create_directory(Temp.Path());
    const std::string Ranged = Convert(R.Profile, Clips.Tracks, R.Range);
    const TProbedFile P = ProbeFile(Ranged);
    ASSERT_EQ(P.Count("subtitle"), 1);
    // Without a start the streams keep the source's own small offsets.
    for (const auto &Stream : P.Streams)
      EXPECT_LT(std::stod(Stream.at("start_time")), R.Start > 0 ? 0.05 : 0.1);
    EXPECT_LT(Number(&P.Format, "duration"), R.End - R.Start + 0.2);
    // The texts shown (an MP4's empty samples between them left out).
    std::vector<std::string> Texts;
    for (const std::string &Line : Lines(RunCommand("ffprobe -v error -select_streams s -show_entries "
                                                    "packet=pts_time,duration_time,size -of csv=p=0 " +
                                                    Quoted(Ranged))
                                             .Output)) {
      double From = 0, Length = 0;
      int Size = 0;
      if (std::sscanf(Line.c_str(), "%lf,%lf,%d", &From, &Length, &Size) == 3 && Size > 2)
        Texts.push_back(std::to_string(From) + "," + std::to_string(From + Length));
    }
    ExpectSpans(Texts, SpansInside(R.Start, R.End, {{0.5, 1.5}, {2.0, 2.8}}));
    ExpectSpans(Chapters(Ranged), SpansInside(R.Start, R.End, {{0, 1.5}, {1.5, 3}}));
    EXPECT_EQ(PictureTimeFaults(Ranged), "");
    EXPECT_EQ(DecodeErrors(Ranged), "");
    if (R.Before) {
      const std::string Start = std::to_string(R.Start - 0.02);  // the picture shown at the start
      EXPECT_GT(Similarity(Start, Ranged), Similarity(R.Before, Ranged));
      EXPECT_GT(Similarity(Start, Ranged), Similarity(std::to_string(R.Start + 0.02), Ranged));
    }
  }

  // A turned phone clip in a device's frame and in a modern profile; a
  // preview in the clip's last picture (shown from 0.96 s to its end).
  const struct {
    const char *Profile, *At;
  } Previews[] = {
      {"PSP Video (*.mp4)", "0.5"},
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", "0.5"},
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", "0.999"},
  };
  for (const auto &[Profile, At] : Previews) {
    SCOPED_TRACE(std::string(Profile) + " at " + At);
    fs::remove_all(Temp.Path());
    fs::create_directory(Temp.Path());
    const std::string Converted = Convert(Profile, MediaClips().Portrait);
    const TProbedFile Film = ProbeFile(Converted);
    fs::remove(Converted);
    const std::string Preview = Convert(Profile, MediaClips().Portrait, std::string("--preview ") + At);
    ASSERT_TRUE(Preview.ends_with(".png")) << Preview;
    const TProbedFile Picture = ProbeFile(Preview);
    ASSERT_TRUE(Picture.Stream("video") && Film.Stream("video"));
    EXPECT_EQ(Picture.Stream("video")->at("width"), Film.Stream("video")->at("width"));
    EXPECT_EQ(Picture.Stream("video")->at("height"), Film.Stream("video")->at("height"));
  }

  // The preview is the film's picture, never the cover; a file without a
  // film has none, and a preview that fails leaves no file.
  struct Film {
    std::string Profile, Source;
    std::string Width;  // of the picture; empty: it fails
  } Films[] = {
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", Clips.Covered, "320"},
      {"AVI - XviD Video (*.avi)", Clips.Covered, "320"},
      // A profile that copies its streams still previews a picture.
      {"MKV - Copy every stream, no re-encoding (*.mkv)", Clips.Covered, "320"},
      {"MP4 - H.264 Video, AAC Audio (*.mp4)", Clips.Song, ""},
  };
  for (const Film &R : Films) {
    SCOPED_TRACE(R.Profile + " " + R.Source);
    fs::remove_all(Temp.Path());
    fs::create_directory(Temp.Path());
    const TCommandResult Made =
        RunCommand("'" + ExecutableDirectory() + "/korvane-convert' -p " + Quoted(R.Profile) + " -o " +
                       Quoted(Temp.Path()) + " --preview 0.5 " + Quoted(R.Source),
                   true);
    EXPECT_EQ(Made.Status, R.Width.empty() ? 1 : 0) << Made.Output;
    EXPECT_EQ(Made.Output.find("copy"), std::string::npos) << Made.Output;
    if (R.Width.empty()) {
      EXPECT_TRUE(fs::is_empty(Temp.Path()));
      continue;
    }
    const TProbedFile Picture = ProbeFile(Temp.File(fs::path(R.Source).stem().string() + ".png"));
    ASSERT_NE(Picture.Stream("video"), nullptr);
    EXPECT_EQ(Picture.Stream("video")->at("width"), R.Width);
    EXPECT_EQ(Picture.Stream("video")->at("codec_name"), "png");
  }
}

// A subtitle drawn into the picture is there while it is shown and only
// then, a text one (drawn by libass) and a picture one alike; the burnt
// track is not kept as a track too. A damaged one fails the file, saying so.
TEST_F(ModernFormats, ABurntSubtitleIsThereOnlyWhileItIsShown) {
  const std::string Mp4 = "MP4 - H.264 Video, AAC Audio (*.mp4)";
  struct Row {
    std::string Source;
    std::vector<double> Shown, Hidden;  // seconds
  } Rows[] = {{Clips.Tracks, {1.0, 2.4}, {0.2, 1.8}}, {Clips.Pictures, {0.4, 1.9}, {1.1, 2.6}}};
  // How alike the bottom quarters of two pictures at one time are, in dB.
  const auto Alike = [](const std::string &A, const std::string &B, double At) {
    const std::string Time = std::to_string(At);
    const std::string Text =
        RunCommand(
            "ffmpeg -nostdin -ss " + Time + " -i " + Quoted(A) + " -ss " + Time + " -i " + Quoted(B) +
            " -filter_complex \"[0:v]crop=iw:ih/4:0:ih*3/4[a];[1:v]crop=iw:ih/4:0:ih*3/4[b];[a][b]psnr\" "
            "-frames:v 1 -f null - 2>&1")
            .Output;
    const size_t Average = Text.find("average:");
    return Average == std::string::npos               ? -1.0
           : Text.compare(Average + 8, 3, "inf") == 0 ? 99.0
                                                      : std::stod(Text.substr(Average + 8));
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Source);
    fs::remove_all(Temp.Path());
    fs::create_directory(Temp.Path());
    const std::string Plain = Convert(Mp4, R.Source, "--subtitles none");
    fs::rename(Plain, Temp.File("plain.mp4"));
    const std::string Burnt = Convert(Mp4, R.Source, "--burn-subtitle 1");
    EXPECT_EQ(ProbeFile(Burnt).Count("subtitle"), 0);
    for (const double At : R.Shown) EXPECT_LT(Alike(Burnt, Temp.File("plain.mp4"), At), 35) << At;
    for (const double At : R.Hidden) EXPECT_GT(Alike(Burnt, Temp.File("plain.mp4"), At), 38) << At;
  }
  fs::remove_all(Temp.Path());
  fs::create_directory(Temp.Path());
  const TCommandResult Damaged =
      RunCommand("'" + ExecutableDirectory() + "/korvane-convert' -p " + Quoted(Mp4) + " -o " +
                     Quoted(Temp.Path()) + " --burn-subtitle 1 " + Quoted(Clips.BadPictures),
                 true);
  EXPECT_EQ(Damaged.Status, 1);
  EXPECT_NE(Damaged.Output.find("Subtitle track 1 of " + Clips.BadPictures + " is damaged"),
            std::string::npos)
      << Damaged.Output;
  EXPECT_TRUE(fs::is_empty(Temp.Path()));
}

// Without SVT-AV1 the AV1 profile takes libaom; without both, each file
// fails with a text that names the encoder, leaves nothing, and the next
// file is still tried.
TEST_F(ModernFormats, AMissingEncoderIsNamedAndTheBatchGoesOn) {
  const std::string Program = "'" + ExecutableDirectory() +
                              "/korvane-convert' -p 'WebM - AV1 Video, Opus Audio (*.webm)' -o " +
                              Quoted(Temp.Path()) + " ";
  TCommandResult R = RunCommand("KORVANE_WITHOUT_ENCODERS=libsvtav1 " + Program + Quoted(Clips.Deep), true);
  EXPECT_EQ(R.Status, 0) << R.Output;
  EXPECT_EQ(ProbeFile(Temp.File("deep.webm")).Stream("video")->at("codec_name"), "av1");
  fs::remove(Temp.File("deep.webm"));

  R = RunCommand("KORVANE_WITHOUT_ENCODERS='libsvtav1 libaom-av1' " + Program + Quoted(Clips.Deep) + " " +
                     Quoted(Clips.Variable),
                 true);
  EXPECT_EQ(R.Status, 1);
  const std::string Reason =
      "new_video_stream fail: Unknown encoder 'libsvtav1': the installed media libraries have neither "
      "libsvtav1 "
      "nor libaom-av1";
  EXPECT_NE(R.Output.find("failed   " + Clips.Deep + ": " + Reason), std::string::npos) << R.Output;
  EXPECT_NE(R.Output.find("failed   " + Clips.Variable + ": " + Reason), std::string::npos) << R.Output;
  EXPECT_NE(R.Output.find("0 done, 2 failed, 0 stopped"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(Temp.Path()));
}

}  // namespace
}  // namespace korvane::test
