// SPDX-License-Identifier: GPL-3.0-or-later
// The first half of a run: the stream tables, which input stream feeds each
// output stream, stream-copy or transcoding parameters, two-pass files,
// opening encoders and decoders, tags and headers.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "MyUtil.h"
#include "NumberLimits.h"
#include "PictureOps.h"
#include "TextConvert.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// Tags copied from an input to an output by a metadata map.
constexpr const char *CopiedTags[] = {"title", "artist", "copyright", "comment",
                                      "album", "date",   "track",     "genre"};

// Stream tags that describe a stream's coding (its bit rate, its length in
// frames and bytes, the program that wrote them): true of a copy, false of
// a stream encoded anew, so only copies keep them.
bool DescribesCoding(const char *Key) {
  constexpr std::string_view Prefixes[] = {"BPS",          "DURATION", "NUMBER_OF_",
                                           "_STATISTICS_", "encoder",  "ENCODER"};
  const std::string_view Name(Key);
  for (std::string_view Prefix : Prefixes)
    if (Name.starts_with(Prefix)) return true;
  return false;
}

// What a file says about itself and keeps through any conversion: what it
// is, who made it, and when and where (a phone clip's date and place).
constexpr const char *FileTags[] = {"title",     "artist",        "album_artist", "album",   "date",
                                    "track",     "disc",          "genre",        "comment", "composer",
                                    "copyright", "creation_time", "location",     "make",    "model"};

// Apple's phones name the same facts their own way; their keys are kept as
// they are, and the plain ones added for containers that know only those.
struct TTagAlias {
  const char *Own, *Plain;
};
constexpr TTagAlias AppleTags[] = {{"com.apple.quicktime.location.ISO6709", "location"},
                                   {"com.apple.quicktime.make", "make"},
                                   {"com.apple.quicktime.model", "model"},
                                   {"com.apple.quicktime.title", "title"}};
constexpr std::string_view ApplePrefix = "com.apple.quicktime.";

// Copies what Source says about itself to Out; tags set for the output
// already stay. All: every tag but those that describe the source's coding
// (every track, copy all); else the file tags and a phone's own keys.
void CopyFileTags(const AVFormatContext *Source, AVFormatContext *Out, bool All) {
  const AVDictionaryEntry *Tag = nullptr;
  while ((Tag = LibAVUtil::av_dict_get(Source->metadata, "", Tag, AV_DICT_IGNORE_SUFFIX))) {
    const std::string_view Key = Tag->key;
    const bool Kept =
        All ? !DescribesCoding(Tag->key)
            : Key.starts_with(ApplePrefix) ||
                  std::find(std::begin(FileTags), std::end(FileTags), Key) != std::end(FileTags);
    if (Kept) LibAVUtil::av_dict_set(&Out->metadata, Tag->key, Tag->value, AV_DICT_DONT_OVERWRITE);
  }
  for (const TTagAlias &Alias : AppleTags)
    if (const AVDictionaryEntry *Own = LibAVUtil::av_dict_get(Source->metadata, Alias.Own, nullptr, 0))
      LibAVUtil::av_dict_set(&Out->metadata, Alias.Plain, Own->value, AV_DICT_DONT_OVERWRITE);
}

// Containers that take chapters from a conversion of any plan.
bool TakesChapters(const AVFormatContext *Output) {
  const std::string_view Name = Output->oformat->name;
  return Name == "mp4" || Name == "mov" || Name == "matroska" || Name == "webm";
}

// An MP4 writes a camera's make and model only among its metadata keys
// (which then hold every tag); the plain iTunes tags otherwise.
bool WantsMetadataKeys(const AVFormatContext *Output) {
  if (std::strcmp(Output->oformat->name, "mp4") != 0) return false;
  for (const char *Key : {"make", "model"})
    if (LibAVUtil::av_dict_get(Output->metadata, Key, nullptr, 0)) return true;
  return false;
}

// A stream keeps its tags (its name, its language, an attachment's file
// name and type); tags set for the output already stay.
void CopyStreamTags(const AVStream *In, AVStream *Out, bool Copy) {
  const AVDictionaryEntry *Tag = nullptr;
  while ((Tag = LibAVUtil::av_dict_get(In->metadata, "", Tag, AV_DICT_IGNORE_SUFFIX)))
    if (Copy || !DescribesCoding(Tag->key))
      LibAVUtil::av_dict_set(&Out->metadata, Tag->key, Tag->value, AV_DICT_DONT_OVERWRITE);
}

// A cover picture kept as an attached file, the way Matroska keeps covers:
// the picture's data, a file name and (from the codec) its type.
void AttachCover(const AVStream *In, AVStream *Out) {
  const AVPacket &Picture = In->attached_pic;
  if (Picture.size <= 0) throw FFMpegException("invalid codec_type of output stream");
  AVCodecParameters *P = Out->codecpar;
  P->codec_type = AVMEDIA_TYPE_ATTACHMENT;
  P->codec_id = In->codecpar->codec_id;
  P->extradata = static_cast<uint8_t *>(
      LibAVUtil::av_mallocz(static_cast<size_t>(Picture.size) + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!P->extradata) throw FFMpegException("Could not alloc stream");
  std::memcpy(P->extradata, Picture.data, static_cast<size_t>(Picture.size));
  P->extradata_size = Picture.size;
  const std::string Kind =
      P->codec_id == AV_CODEC_ID_MJPEG ? "jpg" : LibAVCodec::avcodec_get_name(P->codec_id);
  LibAVUtil::av_dict_set(&Out->metadata, "filename", ("cover." + Kind).c_str(), AV_DICT_DONT_OVERWRITE);
}

// One frame of a source's main picture, microseconds; none without one.
int64_t FrameLength(const AVFormatContext *Source) {
  const int Main = TAVProbe::MainVideoStream(Source);
  if (Main < 0) return 0;
  const AVStream *Video = Source->streams[Main];
  const AVRational Rate = Video->avg_frame_rate.num > 0 ? Video->avg_frame_rate : Video->r_frame_rate;
  return Rate.num > 0 && Rate.den > 0 ? LibAVUtil::av_rescale_q(1, {Rate.den, Rate.num}, Microseconds) : 0;
}

// The source's chapters, with their titles, for an output that has none,
// on the output's clock: moved by Offset (microseconds, the source's times
// to the output's) and cut to the output's first Length microseconds, so
// that a range keeps only its part of each chapter and none that lies
// outside it (they would make the file look as long as its source). A
// part cut off by the range that is shorter than a frame holds no picture
// of its own and goes too, its neighbour taking its time: a range is
// counted from the first picture, and the source's chapters need not
// start with one.
void CopyChapters(const AVFormatContext *In, AVFormatContext *Out, int64_t Offset, int64_t Length) {
  if (Out->nb_chapters > 0 || In->nb_chapters == 0) return;
  auto **Chapters = static_cast<AVChapter **>(LibAVUtil::av_mallocz(sizeof(AVChapter *) * In->nb_chapters));
  if (!Chapters) throw FFMpegException("Could not alloc chapters");
  Out->chapters = Chapters;
  const int64_t Frame = FrameLength(In);
  for (unsigned I = 0; I < In->nb_chapters; ++I) {
    const AVChapter *From = In->chapters[I];
    const AVRational Base = From->time_base;
    const int64_t Shift = LibAVUtil::av_rescale_q(Offset, Microseconds, Base);
    const int64_t Least = LibAVUtil::av_rescale_q(Frame, Microseconds, Base);
    int64_t Start = std::max<int64_t>(From->start + Shift, 0);
    int64_t End = From->end + Shift;
    if (Length != INT64_MAX) End = std::min(End, LibAVUtil::av_rescale_q(Length, Microseconds, Base));
    const bool Cut = Start != From->start + Shift || End != From->end + Shift;
    // Nothing of it within the output (a mark of no length inside it stays).
    if (End < Start || (End == Start && From->end != From->start)) continue;
    if (Cut && End - Start < Least) {
      // The chapter before it then lasts to its end.
      if (AVChapter *Before = Out->nb_chapters > 0 ? Out->chapters[Out->nb_chapters - 1] : nullptr)
        Before->end = std::max(Before->end, LibAVUtil::av_rescale_q(End, Base, Before->time_base));
      continue;
    }
    // The first chapter starts with the first picture.
    if (Out->nb_chapters == 0 && Start < Least) Start = 0;
    auto *To = static_cast<AVChapter *>(LibAVUtil::av_mallocz(sizeof(AVChapter)));
    if (!To) throw FFMpegException("Could not alloc chapters");
    Out->chapters[Out->nb_chapters++] = To;
    To->id = From->id;
    To->time_base = Base;
    To->start = Start;
    To->end = End;
    if (LibAVUtil::av_dict_copy(&To->metadata, From->metadata, 0) < 0)
      throw FFMpegException("Could not alloc chapters");
  }
}

// The threads an encoder gets for the task's count (0: automatic). An
// encoder that can only split each picture into slices loses a little
// quality with every slice, as each starts its predictions afresh (about
// 0.03 dB a slice for MPEG-4 and MPEG-2 video at 720p): left to choose, it
// gets two threads at most, which keeps the loss within a tenth of a
// decibel. Other encoders, and every decoder, take the library's choice.
int EncoderThreads(const AVCodec *Codec, int Count) {
  const int Threading = Codec->capabilities & (AV_CODEC_CAP_SLICE_THREADS | AV_CODEC_CAP_FRAME_THREADS |
                                               AV_CODEC_CAP_OTHER_THREADS);
  if (Count != 0 || Threading != AV_CODEC_CAP_SLICE_THREADS) return Count;
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 2u));
}

// MP4, MOV, 3GP and M4A files get their index before the media data (fast
// start), so players and web pages can start them before the whole file is
// read. The muxer then reads the file back once at the end, so only outputs
// that can be read back get it.
bool WantsFastStart(const AVFormatContext *Output) {
  constexpr const char *Formats[] = {"mp4", "mov", "3gp", "3g2", "ipod", "psp"};
  if (!Output->pb || !(Output->pb->seekable & AVIO_SEEKABLE_NORMAL)) return false;
  for (const char *Name : Formats)
    if (std::strcmp(Output->oformat->name, Name) == 0) return true;
  return false;
}

// Gives Out the side data of In: all of it, or only its display matrix.
void CopyStreamSideData(const AVStream *In, AVStream *Out, bool DisplayMatrixOnly) {
  for (int I = 0; I < In->nb_side_data; ++I) {
    const AVPacketSideData &Data = In->side_data[I];
    if (DisplayMatrixOnly && Data.type != AV_PKT_DATA_DISPLAYMATRIX) continue;
    uint8_t *Copy = LibAVFormat::av_stream_new_side_data(Out, Data.type, Data.size);
    if (!Copy) throw FFMpegException("Could not copy the side data of the input stream");
    std::memcpy(Copy, Data.data, Data.size);
  }
}

// A copy's stream parameters, from its source's.
void DeriveCopyParameters(const TCustomFFmpeg &Task, const TOptionState &S, TMuxer &Mux,
                          const TStreamView &Ist) {
  const AVCodecContext *Enc = Mux.Encoder();
  AVStream *Out = Mux.Stream();
  const AVStream *In = Ist.Stream;
  const AVMediaType Type = Enc->codec_type;
  switch (Type) {
    case AVMEDIA_TYPE_AUDIO:
      if (S.FAudioVolume != 256)
        throw FFMpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_VIDEO:
      if (S.FHookChoice == THookChoice::CustomHook || Task.FOnCustomHook)
        throw FFMpegException("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
      if (S.FUsingVHook)
        throw FFMpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
      // Copied pictures are shown turned only through their display
      // matrix, which the Matroska writer of these libraries drops: a clip
      // shot upright would play on its side.
      if (const int Turn = TAVProbe::StreamRotation(In);
          Turn != 0 && !(In->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
          S.FOutputFiles[Mux.FileIndex()]->oformat->name == std::string_view("matroska"))
        throw FFMpegException(
            Format("Matroska cannot store the turn of input stream #%d.%d (%d degrees clockwise): "
                   "a copy would play on its side",
                   Ist.FileIndex, Ist.StreamIndex, Turn));
      break;
    case AVMEDIA_TYPE_SUBTITLE:
    case AVMEDIA_TYPE_ATTACHMENT: break;
    default: throw FFMpegException("invalid codec_type of output stream");
  }
  if (Type == AVMEDIA_TYPE_ATTACHMENT && In->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
    AttachCover(In, Out);
    return;
  }
  const uint32_t OwnTag = Enc->codec_tag;
  if (LibAVCodec::avcodec_parameters_copy(Out->codecpar, In->codecpar) < 0)
    throw FFMpegException("invalid codec_type of output stream");
  // Keep the source's tag where the container can carry it.
  const AVCodecTag *const *Tags = S.FOutputFiles[Mux.FileIndex()]->oformat->codec_tag;
  const uint32_t Tag = In->codecpar->codec_tag;
  if (OwnTag)
    Out->codecpar->codec_tag = OwnTag;
  else if (!Tags || LibAVFormat::av_codec_get_id(Tags, Tag) != AV_CODEC_ID_NONE ||
           LibAVFormat::av_codec_get_tag(Tags, In->codecpar->codec_id) == 0)
    Out->codecpar->codec_tag = Tag;
  else
    Out->codecpar->codec_tag = 0;
  // The stream's side data goes with it: copied pictures are still shown
  // upright only through the display matrix.
  CopyStreamSideData(In, Out, false);
  Out->time_base = In->time_base;
  Mux.SetPositionBase(In->time_base);
  if (Type == AVMEDIA_TYPE_AUDIO) {
    AVCodecParameters *P = Out->codecpar;
    if ((P->block_align == 1 && P->codec_id == AV_CODEC_ID_MP3) || P->codec_id == AV_CODEC_ID_AC3)
      P->block_align = 0;
  } else if (Type == AVMEDIA_TYPE_VIDEO) {
    Out->sample_aspect_ratio = In->sample_aspect_ratio;
    Out->avg_frame_rate = In->avg_frame_rate;
    Out->r_frame_rate = In->r_frame_rate;
    // Copied video counts frames: its clock runs in frame durations.
    const AVRational Rate = In->avg_frame_rate.num > 0 ? In->avg_frame_rate : In->r_frame_rate;
    if (Rate.num > 0 && Rate.den > 0) Mux.SetPositionBase({Rate.den, Rate.num});
  }
}

// The tags the metadata maps copy, and what the first source says about
// itself and its chapters, for every output.
void CopyMetaData(TOptionState &S) {
  for (int I = 0; I < S.FMetaDataMapCount; ++I) {
    const TMetaDataMap &M = S.FMetaDataMaps[I];
    if (M.OutFile < 0 || M.OutFile >= S.FOutputFileCount)
      throw FFMpegException(
          Format("Invalid output file index %d map_meta_data(%d,%d)", M.OutFile, M.OutFile, M.InFile));
    if (M.InFile < 0 || M.InFile >= S.FInputFileCount)
      throw FFMpegException(
          Format("Invalid input file index %d map_meta_data(%d,%d)", M.InFile, M.OutFile, M.InFile));
    AVFormatContext *Out = S.FOutputFiles[M.OutFile].get();
    const AVFormatContext *In = S.FInputFiles[M.InFile].get();
    for (const char *Key : CopiedTags)
      if (const AVDictionaryEntry *Tag = LibAVUtil::av_dict_get(In->metadata, Key, nullptr, 0))
        LibAVUtil::av_dict_set(&Out->metadata, Key, Tag->value, 0);
  }
  // Every output keeps what the first source says about itself (every
  // tag under every track and copy all) and its chapters where the
  // container has them; tags the options set stay.
  if (S.FInputFileCount == 0) return;
  const AVFormatContext *Source = S.FInputFiles[0].get();
  const bool All = S.FStreamPlan != TStreamPlan::OnePerType;
  for (int I = 0; I < S.FOutputFileCount; ++I) {
    AVFormatContext *Out = S.FOutputFiles[I].get();
    CopyFileTags(Source, Out, All);
    if (All || TakesChapters(Out)) CopyChapters(Source, Out, S.FInputFilesTSOffset[0], S.FRecordingTime);
  }
}

void WriteHeaders(TCustomFFmpeg &Task, TOptionState &S) {
  bool AllRTP = S.FOutputFileCount > 0;
  for (int I = 0; I < S.FOutputFileCount; ++I) {
    AVFormatContext *Output = S.FOutputFiles[I].get();
    AVDictionary *Options = nullptr;
    for (const auto &[Name, Value] : S.FFormatPrivateOptions)
      LibAVUtil::av_dict_set(&Options, Name.c_str(), Value.c_str(), 0);
    LibAVUtil::av_dict_set_int(&Options, "preload", SecondsToMicroseconds<int>(S.FMuxPreload), 0);
    std::string MovFlags;
    if (WantsFastStart(Output)) MovFlags += "+faststart";
    if (WantsMetadataKeys(Output)) MovFlags += "+use_metadata_tags";
    if (!MovFlags.empty())
      LibAVUtil::av_dict_set(&Options, "movflags", MovFlags.c_str(), AV_DICT_DONT_OVERWRITE);
    const int Result = LibAVFormat::avformat_write_header(Output, &Options);
    LibAVUtil::av_dict_free(&Options);
    if (Result < 0) {
      // The stream the container refused is named where one is the cause.
      const std::string Refused = RefusedStreamText(S, I);
      throw FFMpegException(
          Refused.empty()
              ? Format("Could not write header for output file #%d (incorrect codec parameters ?): %s", I,
                       TAVProbe::ErrorDescription(Result).c_str())
              : Format("Could not write header for output file #%d: %s (%s)", I, Refused.c_str(),
                       TAVProbe::ErrorDescription(Result).c_str()));
    }
    AllRTP &= std::strcmp(Output->oformat->name, "rtp") == 0;
  }
  if (AllRTP && Task.FOnLog) {
    std::vector<AVFormatContext *> Outputs;
    for (int I = 0; I < S.FOutputFileCount; ++I) Outputs.push_back(S.FOutputFiles[I].get());
    char SDP[2048] = {};
    LibAVFormat::av_sdp_create(Outputs.data(), static_cast<int>(Outputs.size()), SDP, sizeof SDP);
    Task.Log(1, "SDP: " + Trim(SDP));
  }
}

}  // namespace

void TTranscoder::BuildInputTables() {
  TOptionState &S = FState;
  int First = 0;
  for (int I = 0; I < S.FInputFileCount; ++I) {
    const int Count = static_cast<int>(S.FInputFiles[I]->nb_streams);
    FFiles.push_back({false, First, Count});
    for (int J = 0; J < Count; ++J)
      FInputStreams.push_back(std::make_unique<TDecoder>(FTask, S, FVideoHooks, I, J));
    First += Count;
  }
}

void TTranscoder::MapStreams() {
  TOptionState &S = FState;
  int OutputCount = 0;
  for (int I = 0; I < S.FOutputFileCount; ++I) {
    const int Count = static_cast<int>(S.FOutputFiles[I]->nb_streams);
    if (Count == 0) throw FFMpegException("Output file does not contain any stream");
    OutputCount += Count;
  }
  if (S.FStreamMapCount >= 1 && S.FStreamMapCount != OutputCount)
    throw FFMpegException("Number of stream maps must match number of output streams");
  const auto InRange = [&](int File, int Stream) {
    return File >= 0 && File < S.FInputFileCount && Stream >= 0 && Stream < FFiles[File].StreamCount;
  };
  for (int I = 0; I < S.FStreamMapCount; ++I) {
    const TStreamMap &M = S.FStreamMaps[I];
    if (!InRange(M.FileIndex, M.StreamIndex))
      throw FFMpegException(Format("Could not find input stream #%d.%d", M.FileIndex, M.StreamIndex));
    if (!InRange(M.SyncFileIndex, M.SyncStreamIndex))
      throw FFMpegException(Format("Could not find sync stream #%d.%d", M.SyncFileIndex, M.SyncStreamIndex));
  }

  for (int I = 0; I < S.FOutputFileCount; ++I) {
    for (unsigned J = 0; J < S.FOutputFiles[I]->nb_streams; ++J) {
      auto Ost = std::make_unique<TOutputStream>();
      Ost->Mux = std::make_unique<TMuxer>(FTask, S, I, static_cast<int>(J));
      Ost->Source = S.FOutputStreams[I][J].Source;
      FOutputStreams.push_back(std::move(Ost));
    }
  }
  for (size_t N = 0; N < FOutputStreams.size(); ++N) {
    TOutputStream &Ost = *FOutputStreams[N];
    Ost.SourceIndex = FindSource(N);
    TDecoder &Ist = *FInputStreams[Ost.SourceIndex];
    Ist.Use();
    // Copied pictures keep their own times, and some containers store none
    // for some pictures (AVI with packed B-frames): the demuxer makes them.
    if (Ost.Mux->Copies() && Ost.Mux->Encoder()->codec_type == AVMEDIA_TYPE_VIDEO)
      S.FInputFiles[Ist.View().FileIndex]->flags |= AVFMT_FLAG_GENPTS;
  }
}

int TTranscoder::FindSource(size_t N) {
  const TOptionState &S = FState;
  TOutputStream &Ost = *FOutputStreams[N];
  const AVMediaType Type = Ost.Mux->Encoder()->codec_type;
  AVFormatContext *Output = S.FOutputFiles[Ost.Mux->FileIndex()].get();
  int Source = -1;
  if (Ost.Source.File >= 0) {
    // Made for one input stream (every track, copy all): that one.
    Source = FFiles[Ost.Source.File].FirstStreamIndex + Ost.Source.Stream;
    Ost.SyncInput = FInputStreams[Source].get();
    return Source;
  }
  if (S.FStreamMapCount > 0) {
    const TStreamMap &M = S.FStreamMaps[N];
    Source = FFiles[M.FileIndex].FirstStreamIndex + M.StreamIndex;
    if (FInputStreams[Source]->Type() != Type) {
      LibAVFormat::av_dump_format(Output, Ost.Mux->FileIndex(), Output->url, 1);
      throw FFMpegException(Format("Codec type mismatch for mapping #%d.%d -> #%d.%d", M.FileIndex,
                                   M.StreamIndex, Ost.Mux->FileIndex(), Ost.Mux->Index()));
    }
    Ost.SyncInput = FInputStreams[FFiles[M.SyncFileIndex].FirstStreamIndex + M.SyncStreamIndex].get();
    return Source;
  }
  const auto Free = [&](size_t K) { return !FInputStreams[K]->Used() && FInputStreams[K]->Type() == Type; };
  if (S.FProgramID != 0) {
    for (int F = 0; F < S.FInputFileCount && Source < 0; ++F) {
      const AVFormatContext *Input = S.FInputFiles[F].get();
      for (unsigned P = 0; P < Input->nb_programs && Source < 0; ++P) {
        const AVProgram *Program = Input->programs[P];
        if (Program->id != S.FProgramID) continue;
        for (unsigned K = 0; K < Program->nb_stream_indexes && Source < 0; ++K) {
          const int Candidate = FFiles[F].FirstStreamIndex + static_cast<int>(Program->stream_index[K]);
          if (Free(Candidate)) Source = Candidate;
        }
      }
    }
  } else {
    // A picture goes to the film before a cover or a stream without a size,
    // sound to a track a decoder can read before one damage made up.
    const auto Holds = [&](size_t K) {
      const AVStream *Stream = FInputStreams[K]->View().Stream;
      return Type == AVMEDIA_TYPE_VIDEO ? TAVProbe::MainPicture(Stream) : TAVProbe::HoldsMedia(Stream);
    };
    for (const bool HoldingOnly : {true, false})
      for (size_t K = 0; K < FInputStreams.size() && Source < 0; ++K)
        if (Free(K) && (!HoldingOnly || Holds(K))) Source = static_cast<int>(K);
    // Every stream of that type already has an output: share the last one.
    for (size_t K = FInputStreams.size(); K-- > 0 && Source < 0;)
      if (FInputStreams[K]->Type() == Type) Source = static_cast<int>(K);
  }
  if (Source < 0) {
    LibAVFormat::av_dump_format(Output, Ost.Mux->FileIndex(), Output->url, 1);
    throw FFMpegException(Format("Could not find input stream matching output stream #%d.%d",
                                 Ost.Mux->FileIndex(), Ost.Mux->Index()));
  }
  Ost.SyncInput = FInputStreams[Source].get();
  return Source;
}

void TTranscoder::DeriveParameters(TOutputStream &Ost, int Position) {
  const TOptionState &S = FState;
  const TDecoder &Ist = *FInputStreams[Ost.SourceIndex];
  AVStream *Out = Ost.Mux->Stream();
  const AVStream *In = Ist.View().Stream;

  if (!LibAVUtil::av_dict_get(Out->metadata, "language", nullptr, 0))
    if (const AVDictionaryEntry *Language = LibAVUtil::av_dict_get(In->metadata, "language", nullptr, 0))
      LibAVUtil::av_dict_set(&Out->metadata, "language", Language->value, 0);
  if (S.FStreamPlan != TStreamPlan::OnePerType) CopyStreamTags(In, Out, Ost.Mux->Copies());
  // MP4 players name a track by its handler: a track's title goes there.
  if (const AVDictionaryEntry *Title = LibAVUtil::av_dict_get(Out->metadata, "title", nullptr, 0);
      Title && std::string_view(S.FOutputFiles[Ost.Mux->FileIndex()]->oformat->name) == "mp4")
    LibAVUtil::av_dict_set(&Out->metadata, "handler_name", Title->value, 0);
  Out->disposition = In->disposition;

  if (Ost.Mux->Copies())
    DeriveCopyParameters(FTask, S, *Ost.Mux, Ist.View());
  else
    StartEncoding(Ost, Ist, Position);
}

void TTranscoder::StartEncoding(TOutputStream &Ost, const TDecoder &Ist, int Position) {
  const TOptionState &S = FState;
  TMuxer &Mux = *Ost.Mux;
  const AVCodecContext *Enc = Mux.Encoder();
  const AVCodecContext *Dec = Ist.View().Decoder;
  switch (Enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      Ost.Audio = std::make_unique<TAudioPath>(
          FTask, FState, Mux, Enc->sample_rate != Dec->sample_rate || S.FAudioSyncMethod >= 2);
      break;
    case AVMEDIA_TYPE_VIDEO:
      // Pictures left as stored ("autorotate" off) are shown upright
      // through the source's display matrix; turned ones need none.
      if (!S.FAutoRotate) CopyStreamSideData(Ist.View().Stream, Mux.Stream(), true);
      Ost.Video = std::make_unique<TVideoPath>(FTask, FState, Mux);
      Ost.Video->Configure(Ist.View(), Mux.Stream());
      break;
    case AVMEDIA_TYPE_SUBTITLE: break;
    default: throw FFMpegException("invalid codec_type of output stream");
  }
  Mux.SetPositionBase(Enc->time_base);
  Mux.OpenPassLog(Position);
}

void TTranscoder::OpenCodecs() {
  TOptionState &S = FState;
  // Decoders first: a text subtitle encoder starts from the styles its
  // decoder found when it opened.
  for (auto &Ist : FInputStreams) Ist->Open();
  for (auto &OstHolder : FOutputStreams) {
    TOutputStream &Ost = *OstHolder;
    TMuxer &Mux = *Ost.Mux;
    if (Mux.Copies()) continue;
    AVCodecContext *Enc = Mux.Encoder();
    const AVCodecContext *Dec = FInputStreams[Ost.SourceIndex]->View().Decoder;
    // The encoder the stream was made for (found by its name), else the one of its id.
    const AVCodec *Codec = Enc->codec ? Enc->codec : LibAVCodec::avcodec_find_encoder(Enc->codec_id);
    if (!Codec)
      throw FFMpegException(
          Format("Unsupported codec for output stream #%d.%d", Mux.FileIndex(), Mux.Index()));
    // Text subtitles keep the styles the decoder found.
    if (Enc->codec_type == AVMEDIA_TYPE_SUBTITLE && Dec->subtitle_header && !Enc->subtitle_header) {
      Enc->subtitle_header = static_cast<uint8_t *>(LibAVUtil::av_mallocz(Dec->subtitle_header_size + 1));
      if (Enc->subtitle_header) {
        std::memcpy(Enc->subtitle_header, Dec->subtitle_header, Dec->subtitle_header_size);
        Enc->subtitle_header_size = Dec->subtitle_header_size;
      }
    }
    AVDictionary *Private = nullptr;
    for (const auto &[Name, Value] : S.FCodecPrivateOptions[Enc->codec_type])
      LibAVUtil::av_dict_set(&Private, Name.c_str(), Value.c_str(), 0);
    if (Ost.Video) Ost.Video->AddEncoderOptions(Codec, &Private);
    Enc->thread_count = EncoderThreads(Codec, S.FThreadCount);
    int Result;
    {
      std::lock_guard Guard(CodecOpenLock());
      Result = LibAVCodec::avcodec_open2(Enc, Codec, &Private);
    }
    LibAVUtil::av_dict_free(&Private);
    if (Result < 0 || !Mux.TakeEncoderParameters())
      throw FFMpegException(
          Format("Error while opening codec for output stream #%d.%d - maybe incorrect "
                 "parameters such as bit_rate, rate, width or height",
                 Mux.FileIndex(), Mux.Index()));
  }
}

void TTranscoder::Setup() {
  TOptionState &S = FState;
  BuildInputTables();
  MapStreams();
  for (size_t N = 0; N < FOutputStreams.size(); ++N)
    DeriveParameters(*FOutputStreams[N], static_cast<int>(N));
  // Each input stream feeds its outputs in their order; sound and subtitles
  // copied beside copied pictures keep their times before the start.
  bool PicturesCopied = false;
  for (const auto &Ost : FOutputStreams)
    PicturesCopied |= Ost->Mux->Copies() && Ost->Mux->Type() == AVMEDIA_TYPE_VIDEO;
  for (const auto &Ost : FOutputStreams) {
    TDecoder &Ist = *FInputStreams[Ost->SourceIndex];
    Ost->Mux->Connect(Ist.View(), PicturesCopied);
    Ist.Feed({Ost->Mux.get(), Ost->Audio.get(), Ost->Video.get(), &Ost->SyncInput->View()});
  }

  for (int I = 0; I < S.FOutputFileCount; ++I)
    LibAVFormat::av_dump_format(S.FOutputFiles[I].get(), I, S.FOutputFiles[I]->url, 1);
  if (S.FVerbose >= 0 && FTask.FOnLog) {
    FTask.Log(1, "Stream mapping:");
    for (const auto &Ost : FOutputStreams) {
      const TStreamView &Source = FInputStreams[Ost->SourceIndex]->View();
      FTask.Log(1, Format("  Stream #%d.%d -> #%d.%d", Source.FileIndex, Source.StreamIndex,
                          Ost->Mux->FileIndex(), Ost->Mux->Index()));
      const TStreamView &Sync = Ost->SyncInput->View();
      if (&Sync != &Source) FTask.Log(1, Format(" [sync #%d.%d]", Sync.FileIndex, Sync.StreamIndex));
    }
  }
  OpenCodecs();
  CopyMetaData(S);
  WriteHeaders(FTask, S);
  S.FTimerStart = LibAVUtil::av_gettime();
}

void TTranscoder::CloseCodecs() {
  TOptionState &S = FState;
  for (auto &Ost : FOutputStreams) Ost->Mux->EndEncoding();
  for (int I = 0; I < MaxFiles; ++I)
    for (TOutputStreamSetup &Setup : S.FOutputStreams[I]) Setup.Encoder.reset();
  for (int I = 0; I < MaxFiles; ++I)
    for (TCodecHolder &Decoder : S.FInputCodecs[I]) Decoder.reset();
  for (auto &Ist : FInputStreams) Ist->Close();
}

}  // namespace korvane
