// SPDX-License-Identifier: GPL-3.0-or-later
// The task's life cycle: reset, prepare and clear its option state, its log
// line, and applying the two option records in their fixed order.
#include "FFmpeg.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <utility>

#include "AVLibraries.h"
#include "MyUtil.h"
#include "NumberLimits.h"
#include "TextConvert.h"
#include "TextFormat.h"

namespace korvane {

void TFileCloser::operator()(FILE *File) const { MyUtil::my_fclose(File); }

TCustomFFmpeg::TCustomFFmpeg() { ResetOptions(); }

TCustomFFmpeg::~TCustomFFmpeg() { ClearOptions(); }

void TCustomFFmpeg::ResetOptions() { FState = TOptionState{}; }

void TCustomFFmpeg::PrepareOptions() {
  if (!AVLibrariesLoaded()) return;
  ClearOptions();
  ResetOptions();
  FRunning = false;
  FStopRequested = false;
  FFinished = false;
  FTerminated = false;
  FExceptionRaised = false;
  FExceptionMessage.clear();
  FShortfallText.clear();
  FNotes.clear();
  FState.FRecordingTimeMs = -1;

  for (int Type = 0; Type < MediaTypeCount; ++Type) {
    FState.FCodecOptions[Type].reset(LibAVCodec::avcodec_alloc_context3(nullptr));
    if (!FState.FCodecOptions[Type]) throw FFMpegException("Could not allocate the codec options");
    FState.FCodecOptions[Type]->codec_type = static_cast<AVMediaType>(Type);
  }
  FState.FFormatOptions.reset(LibAVFormat::avformat_alloc_context());
  FState.FScaleOptions.reset(LibSwScale::sws_alloc_context());
  if (!FState.FFormatOptions || !FState.FScaleOptions)
    throw FFMpegException("Could not allocate the format and scaling options");
  LibAVUtil::av_opt_set_int(FState.FScaleOptions.get(), "sws_flags", FState.FSwsFlags, 0);
}

void TCustomFFmpeg::ClearOptions() {
  if (!AVLibrariesLoaded()) return;
  TOptionState &S = FState;
  for (auto &Holder : S.FCodecOptions) Holder.reset();
  S.FFormatOptions.reset();
  S.FScaleOptions.reset();
  // Outputs: closed, and deleted when they stayed empty or their run failed,
  // as long as the name still leads to the file this task wrote.
  for (int I = 0; I < MaxFiles; ++I) {
    S.FOutputStreams[I].clear();
    const TFileIdentity Written = std::exchange(S.FOutputIdentities[I], {});
    if (!S.FOutputFiles[I]) continue;
    // Only a file the task opened for writing was claimed.
    const std::string Name = Written.Known() ? S.FOutputFiles[I]->url : "";
    S.FOutputFiles[I].reset();
    struct stat Status {};
    if (Written.Known() && stat(Name.c_str(), &Status) == 0 &&
        TFileIdentity{Status.st_dev, Status.st_ino} == Written && (Status.st_size == 0 || S.FDiscardOutputs))
      unlink(Name.c_str());
    ReleaseOutputFile(Written);
  }
  S.FOutputFileCount = 0;
  S.FDiscardOutputs = false;
  for (int I = 0; I < MaxFiles; ++I) {
    S.FInputCodecs[I].clear();
    S.FInputFiles[I].reset();
  }
  S.FInputFileCount = 0;
  S.FIntraMatrix.reset();
  S.FInterMatrix.reset();
  S.FVStatsFile.reset();
  S.FVStatsFileName.clear();
  S.FOptNames.clear();
  S.FVideoCodecName.clear();
  S.FAudioCodecName.clear();
  S.FSubtitleCodecName.clear();
  S.FVideoStandard.clear();
  S.FVideoRCOverride.clear();
  S.FAudioLanguage.clear();
  S.FSubtitleLanguage.clear();
  S.FFrameHooks.Release();
}

void TCustomFFmpeg::Log(int Level, const std::string &Text) {
  if (FOnLog) FOnLog(*this, Level, Text);
}

int64_t TCustomFFmpeg::ParseTime(const std::string &OptionName, const std::string &Text, bool IsDuration) {
  int64_t Microseconds = AV_NOPTS_VALUE;
  if (LibAVUtil::av_parse_time(&Microseconds, Text.c_str(), IsDuration) < 0 || Microseconds == AV_NOPTS_VALUE)
    throw FFMpegException(Format("Invalid %s specification for %s: %s", IsDuration ? "duration" : "date",
                                 OptionName.c_str(), Text.c_str()));
  return Microseconds;
}

void TFFmpeg::ApplyOptionLines(const std::string &Text) {
  std::string Lines = Trim(Text);
  // "\r\n" and a lone "\r" end a line like "\n".
  std::string Normal;
  Normal.reserve(Lines.size());
  for (size_t I = 0; I < Lines.size(); ++I) {
    if (Lines[I] == '\r') {
      Normal += '\n';
      if (I + 1 < Lines.size() && Lines[I + 1] == '\n') ++I;
    } else {
      Normal += Lines[I];
    }
  }
  if (Normal.empty()) return;
  size_t Start = 0;
  while (Start <= Normal.size()) {
    size_t End = Normal.find('\n', Start);
    if (End == std::string::npos) End = Normal.size();
    const std::string Line = Normal.substr(Start, End - Start);
    const size_t Equal = Line.find('=');
    if (Equal == std::string::npos)
      SetOption(Line, "");
    else
      SetOption(Line.substr(0, Equal), Line.substr(Equal + 1));
    Start = End + 1;
  }
}

void TFFmpeg::ApplyInputOptions(const TInputOptions &Options) {
  FInputOptions = Options;
  ApplyOptionLines(Options.ExtOptions);
  if (!Options.FileFormat.empty()) SetInputFormat(Options.FileFormat);
  if (Options.StartTime > 0) FState.FStartTime = static_cast<int64_t>(Options.StartTime) * 1000;
  if (Options.ProgramID >= 0) FState.FProgramID = Options.ProgramID;
}

void TFFmpeg::ApplyOutputOptions(const TOutputOptions &Options) {
  FOutputOptions = Options;
  const TOutputOptions &O = FOutputOptions;
  TOptionState &S = FState;
  if (O.CodecThreads >= 0) SetThreadCount(std::to_string(O.CodecThreads));
  ApplyOptionLines(O.ExtOptions);

  if (!O.FileFormat.empty()) SetOutputFormat(O.FileFormat);
  if (O.PacketSize > 0) SetGenericOption("packetsize", O.PacketSize);
  if (O.MuxRate > 0) SetGenericOption("muxrate", O.MuxRate);
  if (O.MuxDelay > 0) S.FMuxMaxDelay = O.MuxDelay;
  if (O.MuxPreload > 0) S.FMuxPreload = O.MuxPreload;
  if (!O.AudioCodec.empty()) SetCodecName(AVMEDIA_TYPE_AUDIO, O.AudioCodec);
  if (O.AudioDisable) S.FAudioDisable = 1;
  if (O.AudioVolume >= 0) S.FAudioVolume = O.AudioVolume;
  if (O.AudioChannels > 0) S.FAudioChannels = O.AudioChannels;
  if (O.AudioSampleRate > 0) S.FAudioSampleRate = O.AudioSampleRate;
  if (O.AudioBitrate > 0) SetGenericOption("ab", O.AudioBitrate);
  if (O.AudioBitrateTolerance > 0) SetGenericOption("abt", O.AudioBitrateTolerance);
  S.FAudioLanguage = O.AudioLanguage;
  S.FAudioSyncMethod = O.AudioSyncMethod;
  if (!O.AudioTag.empty()) SetCodecTag(AVMEDIA_TYPE_AUDIO, O.AudioTag);
  if (!O.VideoCodec.empty()) SetCodecName(AVMEDIA_TYPE_VIDEO, O.VideoCodec);
  if (O.VideoDisable) S.FVideoDisable = 1;
  if (!O.FrameRate.empty()) SetFrameRate(O.FrameRate);
  if (!O.FrameSize.empty()) SetFrameSize(O.FrameSize);
  if (!O.FrameAspectRatio.empty()) SetFrameAspectRatio(O.FrameAspectRatio);
  SetCrop(sdTop, O.CropTop);
  SetCrop(sdBottom, O.CropBottom);
  SetCrop(sdLeft, O.CropLeft);
  SetCrop(sdRight, O.CropRight);
  SetPad(sdTop, O.PadTop);
  SetPad(sdBottom, O.PadBottom);
  SetPad(sdLeft, O.PadLeft);
  SetPad(sdRight, O.PadRight);
  SetPadColor(O.PadColor);
  if (O.GOPSize > 0) SetGenericOption("gop", O.GOPSize);
  if (O.VideoBitrate > 0) SetGenericOption("vb", O.VideoBitrate);
  if (O.VideoMaxRate > 0) SetGenericOption("maxrate", O.VideoMaxRate);
  if (O.VideoMinRate > 0) SetGenericOption("minrate", O.VideoMinRate);
  if (O.VideoBitrateTolerance > 0) SetGenericOption("bt", O.VideoBitrateTolerance);
  if (O.VideoBufSize > 0) SetGenericOption("bufsize", O.VideoBufSize);
  S.FVideoSyncMethod = O.VideoSyncMethod;
  if (!O.VideoTag.empty()) SetCodecTag(AVMEDIA_TYPE_VIDEO, O.VideoTag);
  if (O.SubtitleDisable) S.FSubtitleDisable = 1;
  S.FSubtitleLanguage = O.SubtitleLanguage;
  S.FCopyTS = O.CopyTS;
  if (O.RecordingTime > 0) SetRecordingTimeMs(O.RecordingTime);
  if (O.Timestamp >= 0) S.FRecTimestamp = DateTimeToUnixSeconds(O.Timestamp);
  if (O.Year > 0) S.FYear = O.Year;
  if (O.Track > 0) S.FTrack = O.Track;
  if (!O.Title.empty()) S.FTitle = O.Title;
  if (!O.Author.empty()) S.FAuthor = O.Author;
  if (!O.Copyright.empty()) S.FCopyright = O.Copyright;
  if (!O.Comment.empty()) S.FComment = O.Comment;
  if (!O.Album.empty()) S.FAlbum = O.Album;
  if (!O.Genre.empty()) S.FGenre = O.Genre;

  if (O.Target >= ttVCD && O.Target <= ttDVD) {
    const TTargetPreset Preset = O.Target == ttVCD    ? TTargetPreset::VCD
                                 : O.Target == ttSVCD ? TTargetPreset::SVCD
                                                      : TTargetPreset::DVD;
    const TNorm Norm = O.TargetNorm == tnPAL    ? TNorm::PAL
                       : O.TargetNorm == tnNTSC ? TNorm::NTSC
                                                : TNorm::Auto;
    SetTarget(Preset, Norm, O.TargetFallbackNorm == tnPAL ? TNorm::PAL : TNorm::NTSC);
  }

  if (O.CustomHook) {
    S.FHookChoice = THookChoice::CustomHook;
  } else if (O.BeforeHook) {
    S.FHookChoice = THookChoice::BeforeHook;
  } else {
    S.FHookChoice = THookChoice::TimeRanges;
    S.FTimeRanges = ParseTimeRanges(O.TimeRanges);
  }
}

int64_t DateTimeToUnixSeconds(double DateTime) {
  if (DateTime == 0) return static_cast<int64_t>(std::time(nullptr));
  // The date-time is local wall-clock time; mktime converts it with the
  // time-zone offset in force on that date, daylight saving included.
  const double LocalSeconds = std::round((DateTime - 25569.0) * 86400.0);
  const std::time_t AsIfUTC = ClampedInteger<std::time_t>(LocalSeconds);
  std::tm Fields{};
  gmtime_r(&AsIfUTC, &Fields);
  Fields.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&Fields));
}

std::vector<TTimeRange> ParseTimeRanges(const std::string &Text) {
  std::vector<TTimeRange> Ranges;
  const std::string All = Trim(Text);
  size_t Start = 0;
  while (!All.empty() && Start <= All.size()) {
    size_t Comma = All.find(',', Start);
    if (Comma == std::string::npos) Comma = All.size();
    const std::string Item = Trim(All.substr(Start, Comma - Start));
    const size_t Dash = Item.find('-');
    if (Dash != std::string::npos) {
      const int64_t From = StrToInt64Def(Trim(Item.substr(0, Dash)), -1);
      const int64_t To = StrToInt64Def(Trim(Item.substr(Dash + 1)), -1);
      // Milliseconds beyond what microseconds can hold are malformed too.
      constexpr int64_t Limit = INT64_MAX / 1000;
      if (To >= 0 && To >= From && To <= Limit && From >= -Limit) Ranges.push_back({From * 1000, To * 1000});
    }
    Start = Comma + 1;
  }
  std::stable_sort(Ranges.begin(), Ranges.end(),
                   [](const TTimeRange &A, const TTimeRange &B) { return A.End < B.End; });
  return Ranges;
}

}  // namespace korvane
