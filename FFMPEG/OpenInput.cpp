// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a task's source: the container and its stream information with
// the current options, the start position, and the source's picture and
// sound facts copied into the option state so that later options act on
// real values. Also codec lookup by name and copying named library options
// into a context, which opening outputs uses too.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "FFmpeg.h"
#include "ScopeExit.h"
#include "TextFormat.h"

namespace korvane {

namespace {

// Encoder names of older library releases that the profiles still use, and
// the encoders that do their job now.
struct TEncoderAlias {
  const char *Name;
  const char *Present;
};
constexpr TEncoderAlias EncoderAliases[] = {
    {"libfaac", "aac"},
    {"libamr_nb", "libopencore_amrnb"},
    {"vorbis", "libvorbis"},
};

// Encoders that stand in for one a build of the libraries may lack: the AV1
// profiles name SVT-AV1, which converts at a useful speed, and take libaom
// where SVT-AV1 is missing.
constexpr TEncoderAlias EncoderStandIns[] = {
    {"libsvtav1", "libaom-av1"},
};

// Whether the user asked to treat an encoder as missing: the names listed
// (separated by blanks or commas) in KORVANE_WITHOUT_ENCODERS, to see how
// the converter behaves on a build of the libraries without them.
bool EncoderWithheld(const char *Name) {
  const char *List = std::getenv("KORVANE_WITHOUT_ENCODERS");
  if (!List) return false;
  const std::string_view All(List), Wanted(Name);
  size_t Start = 0;
  while (Start < All.size()) {
    const size_t End = std::min(All.find_first_of(" ,", Start), All.size());
    if (All.substr(Start, End - Start) == Wanted) return true;
    Start = End + 1;
  }
  return false;
}

const AVCodec *EncoderNamed(const char *Name) {
  return EncoderWithheld(Name) ? nullptr : LibAVCodec::avcodec_find_encoder_by_name(Name);
}

// The encoder for a name the profiles write: the present one of an old
// name, else the named one, else the one that stands in for it.
const AVCodec *FindEncoder(const std::string &Name) {
  const char *Present = PresentEncoderName(Name);
  if (const AVCodec *Codec = EncoderNamed(Present)) return Codec;
  for (const TEncoderAlias &StandIn : EncoderStandIns)
    if (Name == StandIn.Name) return EncoderNamed(StandIn.Present);
  return nullptr;
}

// What a user reads when an encoder is missing: the engine's text, then
// that the libraries lack it (and its stand-in), so the cause is plain.
std::string MissingEncoderText(const std::string &Name) {
  for (const TEncoderAlias &StandIn : EncoderStandIns)
    if (Name == StandIn.Name)
      return Format("Unknown encoder '%s': the installed media libraries have neither %s nor %s",
                    Name.c_str(), StandIn.Name, StandIn.Present);
  return Format("Unknown encoder '%s': the installed media libraries do not have it", Name.c_str());
}

std::string LowerCaseExtension(const std::string &FileName) {
  const size_t Dot = FileName.rfind('.');
  const size_t Slash = FileName.rfind('/');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return "";
  std::string Extension = FileName.substr(Dot);
  std::transform(Extension.begin(), Extension.end(), Extension.begin(),
                 [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  return Extension;
}

// A stop request also breaks off a read the source keeps waiting on, and so
// does the end of the time an open may take.
int InterruptRequested(void *Task) { return static_cast<TCustomFFmpeg *>(Task)->OpenInterrupted() ? 1 : 0; }

int64_t SteadyNow() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

// Raw samples (PCM and ADPCM) play at the rate their header gives; a rate
// below this is no recording's but a damaged header's, and would stretch
// every second of sound into hours.
constexpr int LeastSampleRate = 1000;

bool RawSamples(AVCodecID Codec) { return Codec >= AV_CODEC_ID_FIRST_AUDIO && Codec < AV_CODEC_ID_AMR_NB; }

// The rate a sound stream's header gives where the stream's timing follows
// it: raw samples play at it, and FLAC's packets are timed in its samples
// (a FLAC header saying 1 Hz makes every frame thousands of seconds long,
// whatever rate the frames say). 0 where the header does not time the stream.
int HeaderSampleRate(const AVStream *Stream) {
  const AVCodecParameters *P = Stream->codecpar;
  if (RawSamples(P->codec_id)) return P->sample_rate;
  if (P->codec_id == AV_CODEC_ID_FLAC && Stream->time_base.num == 1) return Stream->time_base.den;
  return 0;
}

// What a raw source cannot tell about itself: the current sound and
// picture settings, for the demuxers that take them.
TDictionaryHolder DemuxerParameters(const TOptionState &S) {
  AVDictionary *Parameters = nullptr;
  // (A rate or count of 0 stands for the source's own: nothing to tell.)
  if (S.FAudioSampleRate > 0) LibAVUtil::av_dict_set_int(&Parameters, "sample_rate", S.FAudioSampleRate, 0);
  if (S.FAudioChannels > 0) {
    AVChannelLayout Layout{};
    LibAVUtil::av_channel_layout_default(&Layout, S.FAudioChannels);
    char LayoutName[64] = {};
    if (LibAVUtil::av_channel_layout_describe(&Layout, LayoutName, sizeof LayoutName) > 0)
      LibAVUtil::av_dict_set(&Parameters, "ch_layout", LayoutName, 0);
    LibAVUtil::av_channel_layout_uninit(&Layout);
  }
  if (S.FFrameRate.num > 0 && S.FFrameRate.den > 0)
    LibAVUtil::av_dict_set(&Parameters, "framerate",
                           Format("%d/%d", S.FFrameRate.num, S.FFrameRate.den).c_str(), 0);
  const int64_t Width = int64_t{S.FFrameWidth} + S.FPadLeft + S.FPadRight;
  const int64_t Height = int64_t{S.FFrameHeight} + S.FPadTop + S.FPadBottom;
  if (Width > 0 && Height > 0)
    LibAVUtil::av_dict_set(
        &Parameters, "video_size",
        Format("%lldx%lld", static_cast<long long>(Width), static_cast<long long>(Height)).c_str(), 0);
  if (S.FFramePixFmt >= 0)
    if (const char *PixFmt = LibAVUtil::av_get_pix_fmt_name(static_cast<AVPixelFormat>(S.FFramePixFmt)))
      LibAVUtil::av_dict_set(&Parameters, "pixel_format", PixFmt, 0);
  if (S.FVideoChannel) LibAVUtil::av_dict_set_int(&Parameters, "channel", S.FVideoChannel, 0);
  if (!S.FVideoStandard.empty()) LibAVUtil::av_dict_set(&Parameters, "standard", S.FVideoStandard.c_str(), 0);
  return TDictionaryHolder(Parameters);
}

// Takes over the picture facts of a source's main video stream into the
// option state, so that later options act on real values. A cover or a
// stream without a picture size never gives them: the film would be
// squashed into the cover's size, or have none.
void ReadVideoFacts(TCustomFFmpeg &Task, AVStream *Stream, AVCodecContext *Decoder,
                    const std::string &FileName) {
  TOptionState &S = Task.State();
  S.FFrameHeight = Decoder->height;
  S.FFrameWidth = Decoder->width;
  const AVRational Shape = Decoder->sample_aspect_ratio;
  S.FFrameAspectRatio =
      Shape.den != 0 && Decoder->height != 0
          ? static_cast<float>(static_cast<double>(Shape.num) / Shape.den * Decoder->width / Decoder->height)
          : 0.0f;
  if (S.FFrameAspectRatio == 0 && Decoder->width > 0 && Decoder->height > 0)
    Task.SetFrameAspectRatio(Format("%d:%d", Decoder->width, Decoder->height));
  S.FSourcePixelAspect = Shape.num > 0 && Shape.den > 0 ? Shape : AVRational{1, 1};
  // A picture shown a quarter turn from how it is stored reaches the
  // outputs turned upright (unless "autorotate" is off): its size and
  // shape are the turned ones.
  S.FSourceQuarterTurn = TAVProbe::StreamRotation(Stream) % 180 == 90;
  if (S.FSourceQuarterTurn && S.FAutoRotate) {
    std::swap(S.FFrameWidth, S.FFrameHeight);
    if (S.FFrameAspectRatio > 0) S.FFrameAspectRatio = 1 / S.FFrameAspectRatio;
    std::swap(S.FSourcePixelAspect.num, S.FSourcePixelAspect.den);
  }
  S.FSourceWidth = S.FFrameWidth;
  S.FSourceHeight = S.FFrameHeight;
  // RealMedia decoders tell their picture format only when decoding.
  const std::string Extension = LowerCaseExtension(FileName);
  if (Decoder->pix_fmt == AV_PIX_FMT_NONE && !Extension.empty() &&
      std::string(".rmvb").rfind(Extension, 0) == 0)
    Decoder->pix_fmt = AV_PIX_FMT_YUV420P;
  S.FFramePixFmt = Decoder->pix_fmt;
  S.FFrameRate = Stream->r_frame_rate;
}

// Every video stream's decoder gets the video options; a stream is left
// unread when the options say so.
void SetUpVideoDecoder(TCustomFFmpeg &Task, AVStream *Stream, AVCodecContext *Decoder) {
  TOptionState &S = Task.State();
  Task.ApplyGenericOptions(Decoder, S.FCodecOptions[AVMEDIA_TYPE_VIDEO].get(),
                           AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
  if (S.FVideoDisable)
    Stream->discard = AVDISCARD_ALL;
  else if (S.FVideoDiscard)
    Stream->discard = static_cast<AVDiscard>(S.FVideoDiscard);
}

// One decoder context per stream of an opened source, each with the
// options for its media type; the source's sound and picture facts go
// into the option state on the way. False with FErrorText set when a
// stream cannot be decoded as it claims.
bool MakeDecoders(TCustomFFmpeg &Task, AVFormatContext *Context, const std::string &FileName,
                  std::vector<TCodecHolder> &Decoders) {
  TOptionState &S = Task.State();
  const int MainVideo = TAVProbe::MainVideoStream(Context);
  for (unsigned I = 0; I < Context->nb_streams; ++I) {
    AVStream *Stream = Context->streams[I];
    AVCodecParameters *Parameters = Stream->codecpar;
    if (Parameters->codec_type < AVMEDIA_TYPE_UNKNOWN || Parameters->codec_type >= AVMEDIA_TYPE_NB)
      throw FFMpegException("invalid codec_type");
    TCodecHolder Decoder(LibAVCodec::avcodec_alloc_context3(nullptr));
    if (!Decoder || LibAVCodec::avcodec_parameters_to_context(Decoder.get(), Parameters) < 0) {
      S.FErrorText = TAVProbe::OpenErrorText(FileName, AVERROR(ENOMEM));
      return false;
    }
    Decoder->pkt_timebase = Stream->time_base;
    Decoder->thread_count = S.FThreadCount;
    switch (Parameters->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        if (const int Rate = HeaderSampleRate(Stream); Rate > 0 && Rate < LeastSampleRate) {
          S.FErrorText = Format(
              "%s: the header gives sound stream %u a rate of %d samples a second, far below any "
              "recording's (at least %d): the header is damaged",
              FileName.c_str(), I, Rate, LeastSampleRate);
          return false;
        }
        Task.ApplyGenericOptions(Decoder.get(), S.FCodecOptions[AVMEDIA_TYPE_AUDIO].get(),
                                 AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
        S.FAudioChannels = Decoder->ch_layout.nb_channels;
        S.FAudioSampleRate = Decoder->sample_rate;
        if (S.FAudioDisable) Stream->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_VIDEO:
        SetUpVideoDecoder(Task, Stream, Decoder.get());
        if (static_cast<int>(I) == MainVideo) ReadVideoFacts(Task, Stream, Decoder.get(), FileName);
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (S.FSubtitleDisable) Stream->discard = AVDISCARD_ALL;
        break;
      default: break;
    }
    Decoders.push_back(std::move(Decoder));
  }
  return true;
}

// Where a source's main picture starts, microseconds; the file's own start
// where it has no picture (or the picture no start).
int64_t StartOfPictures(const AVFormatContext *Context) {
  const int Main = TAVProbe::MainVideoStream(Context);
  if (Main >= 0) {
    const AVStream *Video = Context->streams[Main];
    if (Video->start_time != AV_NOPTS_VALUE)
      return LibAVUtil::av_rescale_q(Video->start_time, Video->time_base, AV_TIME_BASE_Q);
  }
  return Context->start_time != AV_NOPTS_VALUE ? Context->start_time : 0;
}

}  // namespace

const char *PresentEncoderName(const std::string &Name) {
  for (const TEncoderAlias &Alias : EncoderAliases)
    if (Name == Alias.Name) return Alias.Present;
  return Name.c_str();
}

bool TCustomFFmpeg::OpenInterrupted() const { return FStopRequested || SteadyNow() > FOpenDeadline; }

std::string TCustomFFmpeg::StoppedOpenText(const std::string &FileName) {
  return Format("%s: Error while opening file (stopped)", FileName.c_str());
}

bool TCustomFFmpeg::FindCodecID(const std::string &Name, AVMediaType Type, bool Encoder, AVCodecID &ID,
                                const AVCodec **Found) {
  ID = AV_CODEC_ID_NONE;
  if (Found) *Found = nullptr;
  if (Name.empty()) return true;
  const AVCodec *Codec = Encoder ? FindEncoder(Name) : LibAVCodec::avcodec_find_decoder_by_name(Name.c_str());
  const char *Kind = Encoder ? "encoder" : "decoder";
  if (!Codec) {
    FState.FErrorText = Encoder ? MissingEncoderText(Name) : Format("Unknown %s '%s'", Kind, Name.c_str());
    return false;
  }
  if (Codec->type != Type) {
    FState.FErrorText = Format("Invalid %s type '%s'", Kind, Name.c_str());
    return false;
  }
  ID = Codec->id;
  if (Found) *Found = Codec;
  return true;
}

void TCustomFFmpeg::ApplyGenericOptions(void *Target, void *Holder, int Flags) {
  for (const std::string &Name : FState.FOptNames) {
    uint8_t *Text = nullptr;
    if (LibAVUtil::av_opt_get(Holder, Name.c_str(), 0, &Text) < 0 || !Text) continue;
    if (LibAVUtil::av_opt_find(Target, Name.c_str(), nullptr, Flags, 0))
      LibAVUtil::av_opt_set(Target, Name.c_str(), reinterpret_cast<const char *>(Text), 0);
    LibAVUtil::av_free(Text);
  }
}

bool TCustomFFmpeg::OpenInputFile(const std::string &FileName) {
  TOptionState &S = FState;
  // Whatever happens, this open consumes the per-file options.
  const TScopeExit Consume([&S] {
    S.FInputFormat = nullptr;
    S.FOutputFormat = nullptr;
    S.FVideoChannel = 0;
    S.FRateEmu = 0;
    S.FVideoCodecName.clear();
    S.FAudioCodecName.clear();
    S.FSubtitleCodecName.clear();
  });

  if (S.FInputFileCount >= MaxFiles) {
    S.FErrorText = Format("Too many input files: at most %d are allowed", MaxFiles);
    return false;
  }

  TInputFormatHolder Input(LibAVFormat::avformat_alloc_context());
  if (!Input) {
    S.FErrorText = TAVProbe::OpenErrorText(FileName, AVERROR(ENOMEM));
    return false;
  }
  // What a raw source cannot tell about itself: the codecs named for it.
  AVCodecID VideoID, AudioID, SubtitleID;
  if (!FindCodecID(S.FVideoCodecName, AVMEDIA_TYPE_VIDEO, false, VideoID) ||
      !FindCodecID(S.FAudioCodecName, AVMEDIA_TYPE_AUDIO, false, AudioID) ||
      !FindCodecID(S.FSubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false, SubtitleID))
    return false;
  if (S.FPGMYUVHack) VideoID = AV_CODEC_ID_PGMYUV;
  ApplyGenericOptions(Input.get(), S.FFormatOptions.get(), AV_OPT_FLAG_DECODING_PARAM);
  Input->video_codec_id = VideoID;
  Input->audio_codec_id = AudioID;
  Input->subtitle_codec_id = SubtitleID;
  if (!OpenWithDeadline(Input, FileName)) return false;
  AVFormatContext *Context = Input.get();

  if (S.FProgramID != 0)
    for (unsigned I = 0; I < Context->nb_programs; ++I)
      if (Context->programs[I]->id != S.FProgramID) Context->programs[I]->discard = AVDISCARD_ALL;

  // A start is counted from the first picture (as players show the time),
  // so the output's first picture is the one shown at that time, whatever
  // sound starts before it; without a picture from the file's start.
  int64_t Timestamp = S.FStartTime;
  if (S.FStartTime != 0)
    Timestamp += StartOfPictures(Context);
  else if (Context->start_time != AV_NOPTS_VALUE)
    Timestamp += Context->start_time;
  if (S.FStartTime != 0) LibAVFormat::av_seek_frame(Context, -1, Timestamp, AVSEEK_FLAG_BACKWARD);
  const int64_t Start = S.FStartTime;
  S.FStartTime = 0;

  std::vector<TCodecHolder> Decoders;
  if (!MakeDecoders(*this, Context, FileName, Decoders)) return false;

  S.FRecordingTimeMs = std::max<int64_t>(S.FRecordingTimeMs, Context->duration / 1000);
  const int Index = S.FInputFileCount;
  S.FInputFilesTSOffset[Index] = S.FCopyTS ? S.FInputTSOffset : S.FInputTSOffset - Timestamp;
  S.FInputRateEmu[Index] = S.FRateEmu != 0;
  S.FInputFilesStart[Index] = Start;
  if (S.FVerbose >= 0) LibAVFormat::av_dump_format(Context, Index, FileName.c_str(), 0);
  S.FInputFiles[Index] = std::move(Input);
  S.FInputCodecs[Index] = std::move(Decoders);
  S.FInputFileCount = Index + 1;
  return true;
}

bool TCustomFFmpeg::OpenWithDeadline(TInputFormatHolder &Input, const std::string &FileName) {
  TOptionState &S = FState;
  TDictionaryHolder ParameterHolder(DemuxerParameters(S));
  Input->interrupt_callback = {&InterruptRequested, this};
  FOpenDeadline =
      SteadyNow() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(FOpenTimeLimit).count();
  // After the open, the run reads with no time limit (a stop still ends it).
  const TScopeExit OpenOver([this] { FOpenDeadline = INT64_MAX; });
  // The text of an open that was given up, or empty.
  const auto GivenUp = [&]() -> std::string {
    if (FStopRequested) return StoppedOpenText(FileName);
    if (SteadyNow() <= FOpenDeadline) return "";
    const long long Limit = FOpenTimeLimit.count();
    return Format(Limit % 1000 == 0 ? "%s: Error while opening file (no answer within %lld s)"
                                    : "%s: Error while opening file (no answer within %lld ms)",
                  FileName.c_str(), Limit % 1000 == 0 ? Limit / 1000 : Limit);
  };

  AVFormatContext *Context = Input.release();
  AVDictionary *Parameters = ParameterHolder.release();
  const int Result =
      LibAVFormat::avformat_open_input(&Context, FileName.c_str(), S.FInputFormat, &Parameters);
  ParameterHolder.reset(Parameters);
  if (Result < 0) {
    // The library has freed the context itself.
    S.FErrorText = GivenUp();
    if (S.FErrorText.empty())
      S.FErrorText = TAVProbe::InputOpenErrorText(FileName, Result, S.FInputFormat != nullptr);
    return false;
  }
  Input.reset(Context);

  int InfoResult;
  {
    std::lock_guard Guard(CodecOpenLock());
    InfoResult = LibAVFormat::avformat_find_stream_info(Context, nullptr);
  }
  if (const std::string Text = GivenUp(); !Text.empty()) {
    S.FErrorText = Text;
    return false;
  }
  if (InfoResult < 0 && S.FVerbose >= 0) {
    S.FErrorText = Format("%s: could not find codec parameters", FileName.c_str());
    return false;
  }
  return true;
}

}  // namespace korvane
