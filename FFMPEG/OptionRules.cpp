// SPDX-License-Identifier: GPL-3.0-or-later
// The typed option setters: each checks its value and writes the option
// state, with the fixed message texts for values it refuses.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <utility>

#include "AVLibraries.h"
#include "FFmpeg.h"
#include "LibraryFolder.h"
#include "MyUtil.h"
#include "ProgramFolder.h"
#include "TextConvert.h"
#include "TextFormat.h"

namespace korvane {

namespace {

// A number read with the C runtime's strtol / strtod through the utility
// library, and the separator that follows it skipped: the map and scale
// texts ("0.1:0.1", "1:0.5") allow any single character between numbers.
long ReadInteger(const char *&Position) {
  char *End = nullptr;
  const long Value = MyUtil::my_strtol(Position, &End, 0);
  Position = End;
  return Value;
}

void SkipSeparator(const char *&Position) {
  if (*Position) ++Position;
}

int ClampToInt(long Value) { return static_cast<int>(std::clamp<long>(Value, INT_MIN, INT_MAX)); }

}  // namespace

std::string TCustomFFmpeg::ResolveFormatName(const std::string &Name) {
  if (Name != "pgmyuv") return Name;
  FState.FPGMYUVHack = 1;
  Log(1, "pgmyuv format is deprecated, use image2");
  return "image2";
}

void TCustomFFmpeg::SetFormat(const std::string &Name) {
  if (Name.empty()) return;
  const std::string Format = ResolveFormatName(Name);
  FState.FInputFormat = LibAVFormat::av_find_input_format(Format.c_str());
  FState.FOutputFormat = LibAVFormat::av_guess_format(Format.c_str(), nullptr, nullptr);
  if (!FState.FInputFormat && !FState.FOutputFormat)
    throw FFMpegException(korvane::Format("Unknown input or output format: %s", Format.c_str()));
}

void TCustomFFmpeg::SetInputFormat(const std::string &Name) {
  if (Name.empty()) return;
  const std::string Format = ResolveFormatName(Name);
  FState.FInputFormat = LibAVFormat::av_find_input_format(Format.c_str());
  if (!FState.FInputFormat)
    throw FFMpegException(korvane::Format("Unknown input format: %s", Format.c_str()));
}

void TCustomFFmpeg::SetOutputFormat(const std::string &Name) {
  if (Name.empty()) return;
  const std::string Format = ResolveFormatName(Name);
  FState.FOutputFormat = LibAVFormat::av_guess_format(Format.c_str(), nullptr, nullptr);
  if (!FState.FOutputFormat)
    throw FFMpegException(korvane::Format("Unknown output format: %s", Format.c_str()));
}

void TCustomFFmpeg::SetFrameRate(const std::string &Text) {
  if (LibAVUtil::av_parse_video_rate(&FState.FFrameRate, Text.c_str()) < 0)
    throw FFMpegException("Incorrect frame rate");
}

void TCustomFFmpeg::SetFrameSize(const std::string &Text) {
  if (LibAVUtil::av_parse_video_size(&FState.FFrameWidth, &FState.FFrameHeight, Text.c_str()) < 0)
    throw FFMpegException("Incorrect frame size");
  if (FState.FFrameWidth % 2 != 0 || FState.FFrameHeight % 2 != 0)
    throw FFMpegException("Frame size must be a multiple of 2");
}

void TCustomFFmpeg::SetFrameAspectRatio(const std::string &Text) {
  double Ratio = 0;
  if (const size_t Colon = Text.find(':'); Colon != std::string::npos) {
    const int64_t X = StrToInt64Def(Text.substr(0, Colon), 0);
    const int64_t Y = StrToInt64Def(Text.substr(Colon + 1), 0);
    if (Y > 0) Ratio = static_cast<double>(X) / static_cast<double>(Y);
  } else {
    try {
      Ratio = StrToFloat(Text);
    } catch (const EConvertError &) {
      Ratio = 0;
    }
  }
  // A ratio beyond the single range would not survive being stored.
  if (Ratio == 0 || !std::isfinite(Ratio) || std::fabs(Ratio) > std::numeric_limits<float>::max())
    throw FFMpegException("Incorrect aspect ratio specification.");
  FState.FFrameAspectRatio = static_cast<float>(Ratio);
}

void TCustomFFmpeg::SetAutoRotate(bool On) {
  TOptionState &S = FState;
  const bool Changed = (S.FAutoRotate != 0) != On;
  S.FAutoRotate = On;
  // The source's size and shape, taken when it was opened, follow the
  // choice: turned for a picture shown a quarter turn, or not.
  if (!Changed || !S.FSourceQuarterTurn || S.FFrameWidth != S.FSourceWidth ||
      S.FFrameHeight != S.FSourceHeight)
    return;
  std::swap(S.FFrameWidth, S.FFrameHeight);
  if (S.FFrameAspectRatio > 0) S.FFrameAspectRatio = 1 / S.FFrameAspectRatio;
  std::swap(S.FSourcePixelAspect.num, S.FSourcePixelAspect.den);
  S.FSourceWidth = S.FFrameWidth;
  S.FSourceHeight = S.FFrameHeight;
}

void TCustomFFmpeg::SetPixelFormat(const std::string &Name) {
  if (Name == "list") {
    char Line[128];
    for (int Format = -1; Format <= 39; ++Format) {
      LibAVUtil::av_get_pix_fmt_string(Line, sizeof Line, static_cast<AVPixelFormat>(Format));
      Log(1, Trim(Line));
    }
    return;
  }
  FState.FFramePixFmt = LibAVUtil::av_get_pix_fmt(Name.c_str());
}

void TCustomFFmpeg::SetCrop(TSide Side, int Value) {
  if (Value < 0) return;
  static const char *const OddTexts[] = {
      "Top crop size must be a multiple of 2", "Bottom crop size must be a multiple of 2",
      "Left crop size must be a multiple of 2", "Right crop size must be a multiple of 2"};
  if (Value % 2 != 0) throw FFMpegException(OddTexts[Side]);
  const bool Vertical = Side == sdTop || Side == sdBottom;
  int &Size = Vertical ? FState.FFrameHeight : FState.FFrameWidth;
  if (Value >= Size)
    throw FFMpegException(Vertical ? "Vertical crop dimensions are outside the range of the original image.\n"
                                     "Remember to crop first and scale second."
                                   : "Horizontal crop dimensions are outside the range of the original "
                                     "image.\nRemember to crop first and scale second.");
  int TOptionState::*const Fields[] = {&TOptionState::FCropTop, &TOptionState::FCropBottom,
                                       &TOptionState::FCropLeft, &TOptionState::FCropRight};
  FState.*Fields[Side] = Value;
  Size -= Value;
}

void TCustomFFmpeg::SetPad(TSide Side, int Value) {
  if (Value < 0) return;
  static const char *const OddTexts[] = {
      "Top pad size must be a multiple of 2", "Bottom pad size must be a multiple of 2",
      "Left pad size must be a multiple of 2", "Right pad size must be a multiple of 2"};
  if (Value % 2 != 0) throw FFMpegException(OddTexts[Side]);
  int TOptionState::*const Fields[] = {&TOptionState::FPadTop, &TOptionState::FPadBottom,
                                       &TOptionState::FPadLeft, &TOptionState::FPadRight};
  FState.*Fields[Side] = Value;
}

void TCustomFFmpeg::SetPadColor(uint32_t Color) {
  // Only the red, green and blue bytes count; there are no system colours here.
  const int R = static_cast<int>(Color & 0xFF);
  const int G = static_cast<int>((Color >> 8) & 0xFF);
  const int B = static_cast<int>((Color >> 16) & 0xFF);
  // Fixed-point ITU-R BT.601 with 10 fractional bits; ">>" floors negatives.
  const int Y = (307 * R + 602 * G + 117 * B + 512) >> 10;
  const int U = ((-173 * R - 340 * G + 512 * B + 511) >> 10) + 128;
  const int V = ((512 * R - 429 * G - 84 * B + 511) >> 10) + 128;
  FState.FPadColor = {Y, U, V};
}

void TCustomFFmpeg::SetQScale(double Value) {
  if (!(Value > 0 && Value <= 255)) throw FFMpegException("qscale must be > 0.0 and <= 255");
  FState.FVideoQScale = static_cast<float>(Value);
}

void TCustomFFmpeg::SetBitrate(const std::string &Name, const std::string &Value) {
  if (!SetGenericOption(Name, Value) || !FOnLog) return;
  void *Holder = (!Name.empty() && Name[0] == 'a') ? FState.FCodecOptions[AVMEDIA_TYPE_AUDIO].get()
                                                   : FState.FCodecOptions[AVMEDIA_TYPE_VIDEO].get();
  int64_t BitRate = 0;
  if (LibAVUtil::av_opt_get_int(Holder, "b", 0, &BitRate) >= 0 && BitRate < 1000)
    Log(1, "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
}

void TCustomFFmpeg::SetCodecName(AVMediaType Type, const std::string &Name) {
  std::string *CodecName = nullptr;
  int *StreamCopy = nullptr;
  switch (Type) {
    case AVMEDIA_TYPE_VIDEO:
      CodecName = &FState.FVideoCodecName;
      StreamCopy = &FState.FVideoStreamCopy;
      break;
    case AVMEDIA_TYPE_AUDIO:
      CodecName = &FState.FAudioCodecName;
      StreamCopy = &FState.FAudioStreamCopy;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      CodecName = &FState.FSubtitleCodecName;
      StreamCopy = &FState.FSubtitleStreamCopy;
      break;
    default: return;
  }
  CodecName->clear();
  if (Name == "copy")
    *StreamCopy = 1;
  else
    *CodecName = Name;
}

void TCustomFFmpeg::SetCodecTag(AVMediaType Type, const std::string &Tag) {
  const bool Video = Type == AVMEDIA_TYPE_VIDEO;
  if (Tag.size() != 4)
    throw EAssertionFailed(Video ? "video tag parameter must be 4 chars (FFmpeg)"
                                 : "audio tag parameter must be 4 chars (FFmpeg)");
  const auto Byte = [&](int I) { return static_cast<uint32_t>(static_cast<unsigned char>(Tag[I])); };
  const uint32_t Value = Byte(0) | Byte(1) << 8 | Byte(2) << 16 | Byte(3) << 24;
  (Video ? FState.FVideoCodecTag : FState.FAudioCodecTag) = Value;
}

void TCustomFFmpeg::SetRecordingTimeMs(int64_t Milliseconds) {
  if (Milliseconds <= 0) return;
  FState.FRecordingTime = Milliseconds * 1000;
  FState.FRecordingTimeMs = Milliseconds;
}

void TCustomFFmpeg::SetRecordingTime(const std::string &OptionName, const std::string &Text) {
  SetRecordingTimeMs(ParseTime(OptionName, Text, true) / 1000);
}

void TCustomFFmpeg::SetStartTime(const std::string &OptionName, const std::string &Text) {
  FState.FStartTime = ParseTime(OptionName, Text, true);
}

void TCustomFFmpeg::SetInputTSOffset(const std::string &OptionName, const std::string &Text) {
  FState.FInputTSOffset = ParseTime(OptionName, Text, true);
}

void TCustomFFmpeg::SetRecTimestamp(const std::string &OptionName, const std::string &Text) {
  const int64_t Microseconds = ParseTime(OptionName, Text, false);
  FState.FRecTimestamp = static_cast<int64_t>(std::llround(static_cast<double>(Microseconds) / 1000000.0));
}

void TCustomFFmpeg::AddStreamMap(const std::string &Text) {
  if (FState.FStreamMapCount >= MaxStreams)
    throw FFMpegException(Format("Too many stream maps: at most %d are allowed", MaxStreams));
  TStreamMap Map;
  const char *P = Text.c_str();
  Map.FileIndex = ClampToInt(ReadInteger(P));
  SkipSeparator(P);
  Map.StreamIndex = ClampToInt(ReadInteger(P));
  if (*P) {
    SkipSeparator(P);
    Map.SyncFileIndex = ClampToInt(ReadInteger(P));
    SkipSeparator(P);
    Map.SyncStreamIndex = ClampToInt(ReadInteger(P));
  } else {
    Map.SyncFileIndex = Map.FileIndex;
    Map.SyncStreamIndex = Map.StreamIndex;
  }
  FState.FStreamMaps[FState.FStreamMapCount++] = Map;
}

void TCustomFFmpeg::AddMetaDataMap(const std::string &Text) {
  if (FState.FMetaDataMapCount >= MaxFiles)
    throw FFMpegException(Format("Too many metadata maps: at most %d are allowed", MaxFiles));
  TMetaDataMap Map;
  const char *P = Text.c_str();
  Map.OutFile = ClampToInt(ReadInteger(P));
  SkipSeparator(P);
  Map.InFile = ClampToInt(ReadInteger(P));
  FState.FMetaDataMaps[FState.FMetaDataMapCount++] = Map;
}

void TCustomFFmpeg::SetInputTSScale(const std::string &Text) {
  const char *P = Text.c_str();
  const long Stream = ReadInteger(P);
  SkipSeparator(P);
  const double Scale = MyUtil::my_strtod(P, nullptr);
  if (Stream < 0 || Stream >= MaxStreams)
    throw FFMpegException(Format("stream index over MAX_STREAMS(%d)", MaxStreams));
  if (FState.FInputFileCount >= MaxFiles)
    throw FFMpegException(Format("Too many input files: at most %d are allowed", MaxFiles));
  FState.FInputFilesTSScale[FState.FInputFileCount][Stream] = Scale;
}

void TCustomFFmpeg::SetMatrix(bool Intra, const std::string &Text) {
  std::array<long, 64> Coefficients{};
  const char *P = Text.c_str();
  for (int I = 0; I < 64; ++I) {
    Coefficients[I] = MyUtil::my_strtol(P, nullptr, 10);
    P = std::strchr(P, ',');
    if (!P) {
      if (I < 63) throw FFMpegException(Format("Syntax error in matrix \"%s\" at coeff %d", Text.c_str(), I));
      break;
    }
    ++P;
  }
  // The encoders divide by every coefficient and keep each in a byte: a 0
  // would end the whole process inside the library.
  TMatrix Matrix{};
  for (int I = 0; I < 64; ++I) {
    if (Coefficients[I] < 1 || Coefficients[I] > 255)
      throw FFMpegException(
          Format("Invalid coefficient %ld in matrix \"%s\" at coeff %d: it must be from 1 to 255",
                 Coefficients[I], Text.c_str(), I));
    Matrix[I] = static_cast<uint16_t>(Coefficients[I]);
  }
  (Intra ? FState.FIntraMatrix : FState.FInterMatrix) = Matrix;
}

void TCustomFFmpeg::SetPass(int Pass) {
  if (Pass != 1 && Pass != 2) throw FFMpegException("pass number can be only 1 or 2");
  FState.FDoPass = Pass;
}

void TCustomFFmpeg::SetThreadCount(const std::string &Text) {
  // 0 leaves the choice of frame and slice threads to the library; no
  // encoder we carry uses more than MaxCodecThreads.
  const int64_t Count = StrToInt64Def(Text, -1);
  if (Count < 0 || Count > MaxCodecThreads)
    throw FFMpegException(
        Format("threads takes a number from 0 (automatic) to %d, not '%s'", MaxCodecThreads, Text.c_str()));
  FState.FThreadCount = static_cast<int>(Count);
}

void TCustomFFmpeg::SetVerbosity(int Level) {
  FState.FVerbose = Level;
  SetLibraryLogLevel(Level);
}

void TCustomFFmpeg::SetVStatsFile() {
  const std::time_t Now = std::time(nullptr);
  std::tm Local{};
  localtime_r(&Now, &Local);
  char Clock[16];
  std::strftime(Clock, sizeof Clock, "%H%M%S", &Local);
  FState.FVStatsFileName = Format("%s/vstats_%s.log", ProgramFolder().c_str(), Clock);
}

void TCustomFFmpeg::AddVideoHook(const std::string &Text) {
  // The words of the text: split at "|" when it holds one, so that a file
  // name may contain blanks, otherwise at blanks.
  std::string Words = Text;
  const char *Separator = Text.find('|') != std::string::npos ? "|" : " ";
  std::vector<char *> Arguments;
  for (char *Word = MyUtil::my_strtok(Words.data(), Separator); Word;
       Word = MyUtil::my_strtok(nullptr, Separator)) {
    if (static_cast<int>(Arguments.size()) >= FrameHookMaxArguments - 1)
      throw FFMpegException(Format("Failed to add video hook function: %s (more than %d words)", Text.c_str(),
                                   FrameHookMaxArguments - 1));
    Arguments.push_back(Word);
  }
  Arguments.push_back(nullptr);
  const int Count = static_cast<int>(Arguments.size()) - 1;

  // A plug-in in a folder is loaded with that folder current, so files it
  // opens beside itself are found; its path is made absolute first so that
  // changing the folder does not lose it.
  std::string Folder, LoadPath;
  if (Count > 0) {
    LoadPath = Arguments[0];
    if (const size_t Slash = LoadPath.rfind('/'); Slash != std::string::npos) {
      if (LoadPath[0] != '/') {
        char Current[PATH_MAX] = {};
        if (getcwd(Current, sizeof Current)) LoadPath = std::string(Current) + "/" + LoadPath;
      }
      Folder = LoadPath.substr(0, LoadPath.rfind('/'));
    } else if (const std::string Beside = ResourceFolder() + "/" + LoadPath;
               std::filesystem::is_regular_file(Beside)) {
      // A plug-in named without a folder is looked for among the program's
      // own files first, where the sample plug-ins are installed, as a
      // desktop program finds its libraries; then where the system looks for
      // libraries.
      LoadPath = Beside;
    }
  }
  int Result;
  {
    TLibraryFolderScope Scope(Folder);
    Result = FState.FFrameHooks.Add(Count, Arguments.data(), LoadPath.c_str());
  }
  if (Result != 0) throw FFMpegException("Failed to add video hook function: " + Text);
  FState.FUsingVHook = 1;
}

void TCustomFFmpeg::NewStream(AVMediaType Type) {
  if (FState.FOutputFileCount <= 0) throw FFMpegException("At least one output file must be specified");
  const int Last = FState.FOutputFileCount - 1;
  AVFormatContext *Output = FState.FOutputFiles[Last].get();
  switch (Type) {
    case AVMEDIA_TYPE_VIDEO: NewVideoStream(Output, Last); break;
    case AVMEDIA_TYPE_AUDIO: NewAudioStream(Output, Last); break;
    default: NewSubtitleStream(Output, Last); break;
  }
}

}  // namespace korvane
