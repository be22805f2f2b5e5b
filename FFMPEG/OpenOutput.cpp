// SPDX-License-Identifier: GPL-3.0-or-later
// Creating a task's target: the container format, which media types get a
// stream, one encoder stream per chosen type set up from the option state,
// the tags, and the file itself. Also releasing inputs and outputs when the
// task is cleared.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "FFmpeg.h"
#include "NumberLimits.h"
#include "ScopeExit.h"
#include "TextFormat.h"

namespace korvane {

namespace {

// The file's identity, to tell whether a target would overwrite a source.
bool SameFile(const std::string &A, const std::string &B) {
  struct stat SA {
  }, SB{};
  return stat(A.c_str(), &SA) == 0 && stat(B.c_str(), &SB) == 0 && SA.st_dev == SB.st_dev &&
         SA.st_ino == SB.st_ino;
}

AVStream *AddStream(AVFormatContext *Output) {
  AVStream *Stream = LibAVFormat::avformat_new_stream(Output, nullptr);
  if (!Stream) throw FFMpegException("Could not alloc stream");
  Stream->id = static_cast<int>(Output->nb_streams) - 1;
  return Stream;
}

// The encoder a stream gets: the one the name gives (libxvid and the native
// MPEG-4 encoder share a codec id), else the library's encoder for the id.
const AVCodec *EncoderFor(AVCodecID ID, const AVCodec *Named) {
  if (Named) return Named;
  return ID != AV_CODEC_ID_NONE ? LibAVCodec::avcodec_find_encoder(ID) : nullptr;
}

// The encoder's context starts from the encoder's own defaults (some
// encoders refuse the generic ones) and stays bound to that encoder.
TCodecHolder NewEncoderContext(AVMediaType Type, const AVCodec *Codec) {
  TCodecHolder Context(LibAVCodec::avcodec_alloc_context3(Codec));
  if (!Context) throw FFMpegException("Could not alloc stream");
  Context->codec_type = Type;
  return Context;
}

// Encoders keep the terms of their time base within 16 bits (MPEG-4 and
// its family refuse more): a rate such as 1000000/66667 becomes the nearest
// one with smaller terms, here 15.
AVRational EncoderFrameRate(AVRational Rate) {
  AVRational Reduced = Rate;
  LibAVUtil::av_reduce(&Reduced.num, &Reduced.den, Rate.num, Rate.den, 65535);
  return Reduced.num > 0 && Reduced.den > 0 ? Reduced : Rate;
}

// The channels an encoder gets: the most it takes up to the count asked
// for (5.1 sound becomes stereo for an encoder of two channels). An encoder
// that lists no layouts takes at most 7.1, the most channels with standard
// names, unless it takes samples in any number (PCM).
int EncoderChannels(const AVCodec *Codec, int Channels) {
  constexpr int MostNamed = 8;
  if (!Codec) return Channels;
  if (!Codec->ch_layouts)
    return Codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE ? Channels : std::min(Channels, MostNamed);
  bool Taken = false;
  int Fewer = 0, Fewest = INT_MAX;
  for (const AVChannelLayout *L = Codec->ch_layouts; L->nb_channels; ++L) {
    Taken |= L->nb_channels == Channels;
    if (L->nb_channels < Channels) Fewer = std::max(Fewer, L->nb_channels);
    Fewest = std::min(Fewest, L->nb_channels);
  }
  if (Taken || Fewest == INT_MAX) return Channels;
  return Fewer > 0 ? Fewer : Fewest;
}

// The input stream an audio output is made for: the one given, else the
// first audio stream of the inputs (the one the run maps it to), or none.
const AVCodecParameters *AudioSource(const TOptionState &S, TStreamRef Source) {
  if (Source.File >= 0) return S.FInputFiles[Source.File]->streams[Source.Stream]->codecpar;
  for (int I = 0; I < S.FInputFileCount; ++I)
    for (unsigned J = 0; J < S.FInputFiles[I]->nb_streams; ++J)
      if (const AVCodecParameters *P = S.FInputFiles[I]->streams[J]->codecpar;
          P->codec_type == AVMEDIA_TYPE_AUDIO)
        return P;
  return nullptr;
}

// The bits of each sample a sound source holds, where it says: 24 for a
// 24-bit FLAC or WAV master; 0 when it does not tell (lossy sources).
int SourceBits(const AVCodecParameters *Source) {
  if (!Source) return 0;
  if (Source->bits_per_raw_sample > 0) return Source->bits_per_raw_sample;
  return LibAVCodec::av_get_exact_bits_per_sample(Source->codec_id);
}

// The sample format an encoder gets. A lossless one keeps the source's
// precision: more than 16 bits go in 32-bit samples where it takes them
// (FLAC writes those as 24 bits), 16 bits stay 16. A lossy one gets float
// samples where it takes them, the source's precision rather than a 16-bit
// step; else 16-bit ones, else its first.
AVSampleFormat EncoderSampleFormat(const AVCodec *Codec, const AVCodecParameters *Source) {
  if (!Codec || !Codec->sample_fmts) return AV_SAMPLE_FMT_S16;
  const AVCodecDescriptor *Descriptor = LibAVCodec::avcodec_descriptor_get(Codec->id);
  const bool Lossless = Descriptor && (Descriptor->props & AV_CODEC_PROP_LOSSLESS);
  std::vector<AVSampleFormat> Wanted;
  if (!Lossless)
    Wanted = {AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_FLTP};
  else if (SourceBits(Source) > 16)
    Wanted = {AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S32P};
  Wanted.insert(Wanted.end(), {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P});
  for (const AVSampleFormat Format : Wanted)
    for (const AVSampleFormat *F = Codec->sample_fmts; *F != AV_SAMPLE_FMT_NONE; ++F)
      if (*F == Format) return Format;
  return Codec->sample_fmts[0];
}

// The layouts libopus takes for 3 to 8 channels: its surround mapping has
// the Vorbis order. It does not list them, so without this the 5.1 sound of
// most films (side channels, as AC-3 and DTS decode) would be refused.
constexpr uint64_t OpusSurround[] = {AV_CH_LAYOUT_SURROUND,     AV_CH_LAYOUT_QUAD,
                                     AV_CH_LAYOUT_5POINT0_BACK, AV_CH_LAYOUT_5POINT1_BACK,
                                     AV_CH_LAYOUT_6POINT1,      AV_CH_LAYOUT_7POINT1};

// The layout an encoder of Channels channels gets: the source's where it
// has that many named channels and the encoder takes it (quad stays quad),
// else one the encoder lists (or is known to take) for that count, else the
// usual one. The result borrows from its arguments.
AVChannelLayout EncoderLayout(const AVCodec *Codec, int Channels, const AVChannelLayout *Source) {
  if (Codec && std::strcmp(Codec->name, "libopus") == 0 && Channels >= 3 && Channels <= 8) {
    AVChannelLayout Layout{};
    Layout.order = AV_CHANNEL_ORDER_NATIVE;
    Layout.nb_channels = Channels;
    Layout.u.mask = OpusSurround[Channels - 3];
    return Layout;
  }
  const bool SourceFits =
      Source && Source->nb_channels == Channels && Source->order != AV_CHANNEL_ORDER_UNSPEC;
  if (Codec && Codec->ch_layouts) {
    const AVChannelLayout *Listed = nullptr;
    for (const AVChannelLayout *L = Codec->ch_layouts; L->nb_channels; ++L) {
      if (SourceFits && LibAVUtil::av_channel_layout_compare(L, Source) == 0) return *L;
      if (!Listed && L->nb_channels == Channels) Listed = L;
    }
    if (Listed) return *Listed;
  } else if (SourceFits) {
    return *Source;
  }
  AVChannelLayout Usual{};
  LibAVUtil::av_channel_layout_default(&Usual, Channels);
  return Usual;
}

// What every new stream starts from: its place in the container, the
// encoder (unless the stream is a copy) the name gives or else the
// container's own for the media type, and an encoder context for it with
// the codec tag asked for.
struct TStreamStart {
  AVStream *Stream = nullptr;
  AVCodecID ID = AV_CODEC_ID_NONE;
  const AVCodec *Codec = nullptr;
  TCodecHolder Encoder;
};

TStreamStart StartStream(TCustomFFmpeg &Task, AVFormatContext *Output, AVMediaType Type, bool StreamCopy,
                         const std::string &CodecName, uint32_t CodecTag) {
  TStreamStart Start;
  Start.Stream = AddStream(Output);
  if (!StreamCopy) {
    if (!Task.FindCodecID(CodecName, Type, true, Start.ID, &Start.Codec))
      throw FFMpegException(Task.State().FErrorText);
    if (Start.ID == AV_CODEC_ID_NONE)
      Start.ID = LibAVFormat::av_guess_codec(Output->oformat, nullptr, Output->url, nullptr, Type);
    Start.Codec = EncoderFor(Start.ID, Start.Codec);
  }
  Start.Encoder = NewEncoderContext(Type, Start.Codec);
  if (CodecTag) Start.Encoder->codec_tag = CodecTag;
  return Start;
}

// The shape of the pixels of a Width x Height picture shown with the frame
// aspect asked for. A picture of the source's size shown with the source's
// own aspect (to the four decimals it is given in) keeps the source's pixel
// shape exactly, as a copy would; any other gets the nearest shape of
// terms up to 255.
AVRational PixelAspect(const TOptionState &S, int Width, int Height) {
  const AVRational Own = S.FSourcePixelAspect;
  if (Own.num > 0 && Own.den > 0 && Width == S.FSourceWidth && Height == S.FSourceHeight) {
    const double Shown = av_q2d(Own) * Width / Height;
    if (std::fabs(static_cast<double>(S.FFrameAspectRatio) - Shown) <= 0.00005 + 1e-6 * Shown) return Own;
  }
  int Num = 0, Den = 0;
  LibAVUtil::av_reduce(
      &Num, &Den, std::llround(static_cast<double>(S.FFrameAspectRatio) * Height / Width * 255.0), 255, 255);
  return {Num, Den};
}

// The picture a video encoder makes: the frame rate it can do closest to
// the one asked for, the size with padding, the shape and the pixel format.
// Returns the frame rate.
AVRational SetEncoderPicture(const TOptionState &S, AVCodecContext *Enc, AVStream *Stream,
                             const AVCodec *Codec) {
  const AVRational FPS = S.FFrameRate.num != 0 ? S.FFrameRate : AVRational{25, 1};
  AVRational Rate = FPS;
  if (Codec && Codec->supported_framerates) {
    const int Best = LibAVUtil::av_find_nearest_q_idx(FPS, Codec->supported_framerates);
    Rate = Codec->supported_framerates[Best];
  }
  Rate = EncoderFrameRate(Rate);
  Enc->time_base = {Rate.den, Rate.num};
  Enc->framerate = Rate;
  // Sums of option values: formed wide, and refused when no picture of
  // that size can exist.
  const int64_t Width = int64_t{S.FFrameWidth} + S.FPadRight + S.FPadLeft;
  const int64_t Height = int64_t{S.FFrameHeight} + S.FPadTop + S.FPadBottom;
  if ((Width > 0 || Height > 0) && !PictureSizeAllowed(Width, Height))
    throw FFMpegException(Format("Picture size %lldx%lld (frame size and padding) is too large",
                                 static_cast<long long>(Width), static_cast<long long>(Height)));
  Enc->width = static_cast<int>(Width);
  Enc->height = static_cast<int>(Height);
  if (Enc->width > 0)
    Enc->sample_aspect_ratio = Stream->sample_aspect_ratio = PixelAspect(S, Enc->width, Enc->height);
  Enc->pix_fmt = static_cast<AVPixelFormat>(S.FFramePixFmt);
  if (Codec && Codec->pix_fmts) {
    bool Supported = false;
    for (const AVPixelFormat *F = Codec->pix_fmts; *F != AV_PIX_FMT_NONE; ++F)
      Supported |= *F == Enc->pix_fmt;
    if (!Supported) Enc->pix_fmt = Codec->pix_fmts[0];
  }
  // Subsampled chroma needs sizes in whole chroma samples: an odd source
  // size is scaled to the nearest smaller size the encoder can take.
  if (const AVPixFmtDescriptor *D = LibAVUtil::av_pix_fmt_desc_get(Enc->pix_fmt)) {
    Enc->width &= ~((1 << D->log2_chroma_w) - 1);
    Enc->height &= ~((1 << D->log2_chroma_h) - 1);
  }
  return Rate;
}

// Rate-control overrides: "start,end,q/start,end,q/...".
std::vector<RcOverride> ParseRcOverrides(const std::string &Text) {
  std::vector<RcOverride> Overrides;
  for (const char *P = Text.c_str(); *P;) {
    int Start = 0, End = 0, Q = 0;
    if (std::sscanf(P, "%d,%d,%d", &Start, &End, &Q) != 3) throw FFMpegException("error parsing rc_override");
    RcOverride Entry{};
    Entry.start_frame = Start;
    Entry.end_frame = End;
    if (Q > 0) {
      Entry.qscale = Q;
      Entry.quality_factor = 1.0f;
    } else {
      Entry.qscale = 0;
      Entry.quality_factor = -Q / 100.0f;
    }
    Overrides.push_back(Entry);
    P = std::strchr(P, '/');
    if (!P) break;
    ++P;
  }
  return Overrides;
}

// How a video encoder codes: quality, matrices, threads, rate control and
// the pass it makes.
void SetVideoCoding(const TOptionState &S, AVCodecContext *Enc) {
  if (S.FIntraOnly) Enc->gop_size = 0;
  if (S.FVideoQScale != 0 || S.FSameQuality) {
    Enc->flags |= AV_CODEC_FLAG_QSCALE;
    Enc->global_quality = static_cast<int>(FF_QP2LAMBDA * S.FVideoQScale);
  }
  for (auto [Matrix, Target] :
       {std::pair{&S.FIntraMatrix, &Enc->intra_matrix}, std::pair{&S.FInterMatrix, &Enc->inter_matrix}}) {
    if (!*Matrix) continue;
    *Target = static_cast<uint16_t *>(LibAVUtil::av_malloc(sizeof(TMatrix)));
    if (!*Target) throw FFMpegException("Could not alloc stream");
    std::memcpy(*Target, (*Matrix)->data(), sizeof(TMatrix));
  }
  Enc->thread_count = S.FThreadCount;
  const std::vector<RcOverride> Overrides = ParseRcOverrides(S.FVideoRCOverride);
  if (!Overrides.empty()) {
    Enc->rc_override = static_cast<RcOverride *>(LibAVUtil::av_malloc(sizeof(RcOverride) * Overrides.size()));
    if (!Enc->rc_override) throw FFMpegException("Could not alloc stream");
    std::memcpy(Enc->rc_override, Overrides.data(), sizeof(RcOverride) * Overrides.size());
    Enc->rc_override_count = static_cast<int>(Overrides.size());
  }
  if (Enc->rc_initial_buffer_occupancy == 0) Enc->rc_initial_buffer_occupancy = Enc->rc_buffer_size * 3 / 4;
  Enc->intra_dc_precision = S.FIntraDCPrecision - 8;
  if (S.FDoPSNR) Enc->flags |= AV_CODEC_FLAG_PSNR;
  if (S.FDoPass == 1) Enc->flags |= AV_CODEC_FLAG_PASS1;
  if (S.FDoPass == 2) Enc->flags |= AV_CODEC_FLAG_PASS2;
}

void SetLanguage(AVStream *Stream, std::string &Language) {
  if (Language.empty()) return;
  LibAVUtil::av_dict_set(&Stream->metadata, "language", Language.substr(0, 3).c_str(), 0);
  Language.clear();
}

void SetTag(AVDictionary **Tags, const char *Key, const std::string &Value, size_t Limit) {
  if (!Value.empty()) LibAVUtil::av_dict_set(Tags, Key, Value.substr(0, Limit).c_str(), 0);
}

// The tags of a target file: when it was made, then the text tags given.
void SetFileTags(AVDictionary **Tags, const TOptionState &S) {
  if (S.FRecTimestamp != 0) {
    const time_t Seconds = static_cast<time_t>(S.FRecTimestamp);
    std::tm UTC{};
    gmtime_r(&Seconds, &UTC);
    char Text[32];
    std::strftime(Text, sizeof Text, "%Y-%m-%dT%H:%M:%S.000000Z", &UTC);
    LibAVUtil::av_dict_set(Tags, "creation_time", Text, 0);
  }
  SetTag(Tags, "title", S.FTitle, 511);
  SetTag(Tags, "artist", S.FAuthor, 511);
  SetTag(Tags, "copyright", S.FCopyright, 511);
  SetTag(Tags, "comment", S.FComment, 511);
  SetTag(Tags, "album", S.FAlbum, 511);
  if (S.FYear > 0) SetTag(Tags, "date", std::to_string(S.FYear), 511);
  if (S.FTrack > 0) SetTag(Tags, "track", std::to_string(S.FTrack), 511);
  SetTag(Tags, "genre", S.FGenre, 31);
}

}  // namespace

void TCustomFFmpeg::NewVideoStream(AVFormatContext *Output, int OutputIndex, TStreamRef Source) {
  TOptionState &S = FState;
  const TScopeExit Consume([&S] {
    S.FVideoDisable = 0;
    S.FVideoCodecName.clear();
    S.FVideoStreamCopy = 0;
  });

  const bool StreamCopy = S.FVideoStreamCopy != 0;
  TStreamStart Start =
      StartStream(*this, Output, AVMEDIA_TYPE_VIDEO, StreamCopy, S.FVideoCodecName, S.FVideoCodecTag);
  AVCodecContext *Enc = Start.Encoder.get();
  AVCodecContext *Holder = S.FCodecOptions[AVMEDIA_TYPE_VIDEO].get();
  if ((S.FVideoGlobalHeader & 1) ||
      (S.FVideoGlobalHeader == 0 && (Output->oformat->flags & AVFMT_GLOBALHEADER))) {
    Enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Holder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (S.FVideoGlobalHeader & 2) {
    Enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    Holder->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
  }

  if (!StreamCopy) {
    Enc->codec_id = Start.ID;
    ApplyGenericOptions(Enc, Holder, AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    const AVRational Rate = SetEncoderPicture(S, Enc, Start.Stream, Start.Codec);
    SetVideoCoding(S, Enc);
    Start.Stream->time_base = Enc->time_base;
    Start.Stream->avg_frame_rate = Rate;
  }
  S.FOutputStreams[OutputIndex].push_back({std::move(Start.Encoder), StreamCopy, Source});
}

void TCustomFFmpeg::NewAudioStream(AVFormatContext *Output, int OutputIndex, TStreamRef Source) {
  TOptionState &S = FState;
  const TScopeExit Consume([&S] {
    S.FAudioDisable = 0;
    S.FAudioCodecName.clear();
    S.FAudioStreamCopy = 0;
  });

  const bool StreamCopy = S.FAudioStreamCopy != 0;
  TStreamStart Start =
      StartStream(*this, Output, AVMEDIA_TYPE_AUDIO, StreamCopy, S.FAudioCodecName, S.FAudioCodecTag);
  AVStream *Stream = Start.Stream;
  const AVCodec *Codec = Start.Codec;
  AVCodecContext *Enc = Start.Encoder.get();
  AVCodecContext *Holder = S.FCodecOptions[AVMEDIA_TYPE_AUDIO].get();
  if (Output->oformat->flags & AVFMT_GLOBALHEADER) {
    Enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Holder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  // A rate or channel count of 0 keeps the source's own.
  const AVCodecParameters *From = AudioSource(S, Source);
  int SampleRate = S.FAudioSampleRate > 0 ? S.FAudioSampleRate : From ? From->sample_rate : 0;
  int Channels = S.FAudioChannels > 0 ? S.FAudioChannels : From ? From->ch_layout.nb_channels : 0;
  if (SampleRate <= 0) SampleRate = 44100;
  if (Channels <= 0) Channels = 2;
  if (!StreamCopy) {
    ApplyGenericOptions(Enc, Holder, AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    Enc->codec_id = Start.ID;
    if (S.FAudioQScale > -99999) {
      Enc->flags |= AV_CODEC_FLAG_QSCALE;
      Enc->global_quality = ClampedInteger<int>(FF_QP2LAMBDA * static_cast<double>(S.FAudioQScale));
    }
    Enc->thread_count = S.FThreadCount;
    // An encoder that takes only some rates gets the nearest one it takes.
    if (Codec && Codec->supported_samplerates) {
      int Best = Codec->supported_samplerates[0];
      for (const int *Rate = Codec->supported_samplerates; *Rate; ++Rate)
        if (std::abs(*Rate - SampleRate) < std::abs(Best - SampleRate)) Best = *Rate;
      SampleRate = Best;
    }
    Channels = EncoderChannels(Codec, Channels);
    Enc->sample_fmt = EncoderSampleFormat(Codec, From);
  }
  LibAVUtil::av_channel_layout_uninit(&Enc->ch_layout);
  const AVChannelLayout Layout = EncoderLayout(Codec, Channels, From ? &From->ch_layout : nullptr);
  if (LibAVUtil::av_channel_layout_copy(&Enc->ch_layout, &Layout) < 0)
    throw FFMpegException("Could not alloc stream");
  Enc->sample_rate = SampleRate;
  Enc->time_base = {1, SampleRate > 0 ? SampleRate : 1};
  Stream->time_base = Enc->time_base;
  SetLanguage(Stream, S.FAudioLanguage);
  S.FOutputStreams[OutputIndex].push_back({std::move(Start.Encoder), StreamCopy, Source});
}

void TCustomFFmpeg::NewSubtitleStream(AVFormatContext *Output, int OutputIndex, TStreamRef Source) {
  TOptionState &S = FState;
  const TScopeExit Consume([&S] {
    S.FSubtitleDisable = 0;
    S.FSubtitleCodecName.clear();
    S.FSubtitleStreamCopy = 0;
  });

  const bool StreamCopy = S.FSubtitleStreamCopy != 0;
  TStreamStart Start = StartStream(*this, Output, AVMEDIA_TYPE_SUBTITLE, StreamCopy, S.FSubtitleCodecName, 0);
  if (!StreamCopy) {
    ApplyGenericOptions(Start.Encoder.get(), S.FCodecOptions[AVMEDIA_TYPE_SUBTITLE].get(),
                        AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    Start.Encoder->codec_id = Start.ID;
    Start.Encoder->time_base = {1, AV_TIME_BASE};  // subtitle times are microseconds
  }
  SetLanguage(Start.Stream, S.FSubtitleLanguage);
  S.FOutputStreams[OutputIndex].push_back({std::move(Start.Encoder), StreamCopy, Source});
}

void TCustomFFmpeg::NewAttachmentStream(AVFormatContext *Output, int OutputIndex, TStreamRef Source) {
  AddStream(Output);
  FState.FOutputStreams[OutputIndex].push_back(
      {NewEncoderContext(AVMEDIA_TYPE_ATTACHMENT, nullptr), true, Source});
}

bool TCustomFFmpeg::OpenOutputFile(const std::string &FileName) {
  TOptionState &S = FState;
  const TScopeExit Consume([&S] {
    S.FOutputFormat = nullptr;
    S.FInputFormat = nullptr;
  });

  if (S.FOutputFileCount >= MaxFiles) {
    S.FErrorText = Format("Too many output files: at most %d are allowed", MaxFiles);
    return false;
  }
  const int Index = S.FOutputFileCount;
  const AVOutputFormat *Format = S.FOutputFormat;
  if (!Format) Format = LibAVFormat::av_guess_format(nullptr, FileName.c_str(), nullptr);
  if (!Format) {
    S.FErrorText = korvane::Format("Unable to find a suitable output format for '%s'", FileName.c_str());
    return false;
  }
  // Writing over a source would destroy it before it is read.
  for (int I = 0; I < S.FInputFileCount; ++I)
    if (SameFile(FileName, S.FInputFiles[I]->url)) {
      S.FErrorText =
          korvane::Format("'%s' is one of the source files; choose another output name", FileName.c_str());
      return false;
    }

  TOutputFormatHolder Output;
  {
    AVFormatContext *Context = nullptr;
    if (LibAVFormat::avformat_alloc_output_context2(&Context, Format, nullptr, FileName.c_str()) < 0 ||
        !Context) {
      S.FErrorText = TAVProbe::OpenErrorText(FileName, AVERROR(ENOMEM));
      return false;
    }
    Output.reset(Context);
  }
  S.FOutputStreams[Index].clear();
  // Whatever fails from here on leaves no trace of this output.
  TScopeExit Rollback([this, &S, Index, Notes = FNotes.size()] {
    S.FOutputStreams[Index].clear();
    FNotes.resize(Notes);
  });

  if (!NewOutputStreams(Output.get(), Index)) return false;

  SetFileTags(&Output->metadata, S);

  if ((Format->flags & AVFMT_NEEDNUMBER) && !LibAVFormat::av_filename_number_test(FileName.c_str())) {
    S.FErrorText = TAVProbe::OpenErrorText(FileName, AVERROR(EDOM));
    return false;
  }
  if (!(Format->flags & AVFMT_NOFILE)) {
    // Two tasks writing one file would each destroy the other's work.
    if (OutputFileClaimed(FileName)) {
      S.FErrorText = korvane::Format(
          "'%s' is being written by another conversion; choose another output name", FileName.c_str());
      return false;
    }
    const int Opened = LibAVFormat::avio_open(&Output->pb, FileName.c_str(), AVIO_FLAG_WRITE);
    if (Opened < 0) {
      S.FErrorText = korvane::Format("Could not open '%s': %s", FileName.c_str(),
                                     TAVProbe::ErrorDescription(Opened).c_str());
      return false;
    }
    S.FOutputIdentities[Index] = ClaimOutputFile(FileName);
  }
  Output->max_delay = SecondsToMicroseconds<int>(S.FMuxMaxDelay);
  ApplyGenericOptions(Output.get(), S.FFormatOptions.get(), AV_OPT_FLAG_ENCODING_PARAM);

  S.FOutputFiles[Index] = std::move(Output);
  S.FOutputFileCount = Index + 1;
  Rollback.Dismiss();
  return true;
}

}  // namespace korvane
