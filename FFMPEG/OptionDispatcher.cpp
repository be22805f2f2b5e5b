// SPDX-License-Identifier: GPL-3.0-or-later
// The option dispatcher: one table of option names in the order they are
// matched, each with what it does to the task. Names the table does not
// hold go to the library's own option tables.
#include "FFmpeg.h"
#include "TextConvert.h"

namespace korvane {

namespace {

using THandler = void (*)(TCustomFFmpeg &Task, const std::string &Name, const std::string &Value);

enum class TRowKind {
  Ignored,  // logged as "Do nothing", changes nothing
  Refused,  // not supported: raises "TODO"
  Handled,
};

struct TOptionRow {
  const char *Name;
  TRowKind Kind;
  THandler Handler = nullptr;
};

constexpr TOptionRow Ignored(const char *Name) { return {Name, TRowKind::Ignored}; }
constexpr TOptionRow Refused(const char *Name) { return {Name, TRowKind::Refused}; }
constexpr TOptionRow Row(const char *Name, THandler Handler) { return {Name, TRowKind::Handled, Handler}; }

// Field setters for the rows that only store a value.
template <int TOptionState::*Field>
void Flag(TCustomFFmpeg &Task, const std::string &, const std::string &) {
  Task.State().*Field = 1;
}
template <int TOptionState::*Field>
void Int(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.State().*Field = StrToInt(Value);
}
template <float TOptionState::*Field>
void Float(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.State().*Field = StrToSingle(Value);
}
template <std::string TOptionState::*Field>
void Text(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.State().*Field = Value;
}
// A tag: an empty value leaves it.
template <std::string TOptionState::*Field>
void Tag(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  if (!Value.empty()) Task.State().*Field = Value;
}
template <int Kind>  // 0 video, 1 audio, 2 data, 3 subtitle
void MaxFrames(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.State().FMaxFrames[Kind] = StrToInt(Value);
}
template <TSide Side>
void Crop(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.SetCrop(Side, StrToInt(Value));
}
template <TSide Side>
void Pad(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.SetPad(Side, StrToInt(Value));
}
template <AVMediaType Type>
void Codec(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.SetCodecName(Type, Value);
}
template <AVMediaType Type>
void CodecTag(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.SetCodecTag(Type, Value);
}
template <AVMediaType Type>
void NewStream(TCustomFFmpeg &Task, const std::string &, const std::string &) {
  Task.NewStream(Type);
}
// The streams outputs get: every track, or a copy of every stream.
template <TStreamPlan Chosen>
void Plan(TCustomFFmpeg &Task, const std::string &, const std::string &) {
  Task.State().FStreamPlan = Chosen;
}
void Bitrate(TCustomFFmpeg &Task, const std::string &Name, const std::string &Value) {
  Task.SetBitrate(Name, Value);
}
template <bool Intra>
void Matrix(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  Task.SetMatrix(Intra, Value);
}

// HDR kept ("keep") or tone-mapped to SDR ("sdr").
void HdrChoice(TCustomFFmpeg &Task, const std::string &, const std::string &Value) {
  if (Value != "keep" && Value != "sdr") throw FFMpegException("hdr takes keep or sdr, not '" + Value + "'");
  Task.State().FHdrToSdr = Value == "sdr";
}

// clang-format off
const TOptionRow OptionTable[] = {
    Ignored("L"), Ignored("h"), Ignored("version"), Ignored("formats"),
    Row("f", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetFormat(V); }),
    Ignored("i"), Ignored("y"),
    Row("map", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.AddStreamMap(V); }),
    Row("map_meta_data", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.AddMetaDataMap(V); }),
    Row("t", [](TCustomFFmpeg &T, const std::string &N, const std::string &V) { T.SetRecordingTime(N, V); }),
    Row("fs", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.State().FLimitFileSize = StrToInt64(V); }),
    Row("ss", [](TCustomFFmpeg &T, const std::string &N, const std::string &V) { T.SetStartTime(N, V); }),
    Row("itsoffset", [](TCustomFFmpeg &T, const std::string &N, const std::string &V) { T.SetInputTSOffset(N, V); }),
    Row("itsscale", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetInputTSScale(V); }),
    Row("title", Tag<&TOptionState::FTitle>),
    Row("author", Tag<&TOptionState::FAuthor>),
    Row("copyright", Tag<&TOptionState::FCopyright>),
    Row("comment", Tag<&TOptionState::FComment>),
    Row("genre", Tag<&TOptionState::FGenre>),
    Row("album", Tag<&TOptionState::FAlbum>),
    Row("timestamp", [](TCustomFFmpeg &T, const std::string &N, const std::string &V) { T.SetRecTimestamp(N, V); }),
    Row("dframes", MaxFrames<2>),
    Ignored("benchmark"),
    Row("dump", Flag<&TOptionState::FPktDump>),
    Row("hex", Flag<&TOptionState::FHexDump>),
    Row("re", Flag<&TOptionState::FRateEmu>),
    Ignored("loop_input"), Ignored("loop_output"),
    Row("v", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetVerbosity(StrToInt(V)); }),
    Row("target", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetTargetText(V); }),
    Row("threads", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetThreadCount(V); }),
    Row("vsync", Int<&TOptionState::FVideoSyncMethod>),
    Row("async", Int<&TOptionState::FAudioSyncMethod>),
    Row("adrift_threshold", Float<&TOptionState::FAudioDriftThreshold>),
    Row("vglobal", Int<&TOptionState::FVideoGlobalHeader>),
    Row("copyts", Flag<&TOptionState::FCopyTS>),
    Row("shortest", Flag<&TOptionState::FShortest>),
    Row("dts_delta_threshold", Float<&TOptionState::FDTSDeltaThreshold>),
    Row("programid", Int<&TOptionState::FProgramID>),
    Row("b", Bitrate), Row("vb", Bitrate),
    Row("vframes", MaxFrames<0>),
    Row("r", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetFrameRate(V); }),
    Row("s", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetFrameSize(V); }),
    Row("aspect", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetFrameAspectRatio(V); }),
    Row("pix_fmt", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetPixelFormat(V); }),
    Row("deep_pix_fmt", [](TCustomFFmpeg &T, const std::string &, const std::string &V) {
      T.State().FDeepPixFmt = LibAVUtil::av_get_pix_fmt(V.c_str());
    }),
    Row("hdr", HdrChoice),
    Row("croptop", Crop<sdTop>), Row("cropbottom", Crop<sdBottom>),
    Row("cropleft", Crop<sdLeft>), Row("cropright", Crop<sdRight>),
    Row("padtop", Pad<sdTop>), Row("padbottom", Pad<sdBottom>),
    Row("padleft", Pad<sdLeft>), Row("padright", Pad<sdRight>),
    Row("padcolor", [](TCustomFFmpeg &T, const std::string &, const std::string &V) {
      T.SetPadColor(static_cast<uint32_t>(StrToInt(V)));
    }),
    Row("intra", Flag<&TOptionState::FIntraOnly>),
    Row("vn", Flag<&TOptionState::FVideoDisable>),
    Row("vdt", Int<&TOptionState::FVideoDiscard>),
    Row("qscale", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetQScale(StrToFloat(V)); }),
    Row("rc_override", Text<&TOptionState::FVideoRCOverride>),
    Row("vcodec", Codec<AVMEDIA_TYPE_VIDEO>),
    Row("me_threshold", Int<&TOptionState::FMEThreshold>),
    Row("sameq", Flag<&TOptionState::FSameQuality>),
    Row("pass", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.SetPass(StrToInt(V)); }),
    Row("passlogfile", Text<&TOptionState::FPassLogFileName>),
    Row("deinterlace", Flag<&TOptionState::FDeinterlace>),
    Row("autorotate", [](TCustomFFmpeg &T, const std::string &, const std::string &V) {
      T.SetAutoRotate(V.empty() || StrToInt(V) != 0);
    }),
    Row("psnr", Flag<&TOptionState::FDoPSNR>),
    Row("vstats", [](TCustomFFmpeg &T, const std::string &, const std::string &) { T.SetVStatsFile(); }),
    Row("vstats_file", Text<&TOptionState::FVStatsFileName>),
    Row("vhook", [](TCustomFFmpeg &T, const std::string &, const std::string &V) { T.AddVideoHook(V); }),
    Row("intra_matrix", Matrix<true>), Row("inter_matrix", Matrix<false>),
    Row("top", Int<&TOptionState::FTopFieldFirst>),
    Row("dc", Int<&TOptionState::FIntraDCPrecision>),
    Row("vtag", CodecTag<AVMEDIA_TYPE_VIDEO>),
    Row("newvideo", NewStream<AVMEDIA_TYPE_VIDEO>),
    Row("qphist", Flag<&TOptionState::FQPHist>),
    Row("ab", Bitrate),
    Row("aframes", MaxFrames<1>),
    Row("aq", Float<&TOptionState::FAudioQScale>),
    // 0 keeps each audio stream's source's own rate and channels.
    Row("ar", [](TCustomFFmpeg &T, const std::string &, const std::string &V) {
      if (const int Rate = StrToInt(V); Rate >= 0) T.State().FAudioSampleRate = Rate;
    }),
    Row("ac", [](TCustomFFmpeg &T, const std::string &, const std::string &V) {
      if (const int Channels = StrToInt(V); Channels >= 0) T.State().FAudioChannels = Channels;
    }),
    Row("an", Flag<&TOptionState::FAudioDisable>),
    Row("acodec", Codec<AVMEDIA_TYPE_AUDIO>),
    Row("atag", CodecTag<AVMEDIA_TYPE_AUDIO>),
    Row("vol", Int<&TOptionState::FAudioVolume>),
    Row("newaudio", NewStream<AVMEDIA_TYPE_AUDIO>),
    Row("alang", Text<&TOptionState::FAudioLanguage>),
    Row("sn", Flag<&TOptionState::FSubtitleDisable>),
    Row("scodec", Codec<AVMEDIA_TYPE_SUBTITLE>),
    Row("newsubtitle", NewStream<AVMEDIA_TYPE_SUBTITLE>),
    Row("slang", Text<&TOptionState::FSubtitleLanguage>),
    Row("vc", Int<&TOptionState::FVideoChannel>),
    Row("tvstd", Text<&TOptionState::FVideoStandard>),
    Row("isync", Flag<&TOptionState::FInputSync>),
    Row("muxdelay", Float<&TOptionState::FMuxMaxDelay>),
    Row("muxpreload", Float<&TOptionState::FMuxPreload>),
    Row("every_track", Plan<TStreamPlan::EveryTrack>),
    Row("copy_all", Plan<TStreamPlan::CopyAll>),
    Row("keep_date", Int<&TOptionState::FKeepFileDate>),
    Row("audio_tracks", [](TCustomFFmpeg &T, const std::string &, const std::string &V) {
      T.State().FAudioTracks = TTrackChoice::Parse(V);
    }),
    Row("subtitle_tracks", [](TCustomFFmpeg &T, const std::string &, const std::string &V) {
      T.State().FSubtitleTracks = TTrackChoice::Parse(V);
    }),
    Row("burn_subtitle", Int<&TOptionState::FBurnSubtitle>),
    Refused("absf"), Refused("vbsf"), Refused("sbsf"),
    Ignored("apre"), Ignored("vpre"), Ignored("spre"),
};
// clang-format on

}  // namespace

void TCustomFFmpeg::SetOption(const std::string &Name, const std::string &Value) {
  for (const TOptionRow &R : OptionTable) {
    if (Name != R.Name) continue;
    switch (R.Kind) {
      case TRowKind::Ignored: Log(1, "Do nothing: option - " + Name); return;
      case TRowKind::Refused: throw FFMpegException("TODO: option - " + Name);
      case TRowKind::Handled: R.Handler(*this, Name, Value); return;
    }
  }
  // The dispatcher does not report what the libraries do not know either.
  SetGenericOption(Name, Value);
}

}  // namespace korvane
