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

// The source's chapters, with their titles, for an output that has none.
void CopyChapters(const AVFormatContext *In, AVFormatContext *Out) {
  if (Out->nb_chapters > 0 || In->nb_chapters == 0) return;
  auto **Chapters = static_cast<AVChapter **>(LibAVUtil::av_mallocz(sizeof(AVChapter *) * In->nb_chapters));
  if (!Chapters) throw FFMpegException("Could not alloc chapters");
  Out->chapters = Chapters;
  for (unsigned I = 0; I < In->nb_chapters; ++I) {
    const AVChapter *From = In->chapters[I];
    auto *To = static_cast<AVChapter *>(LibAVUtil::av_mallocz(sizeof(AVChapter)));
    if (!To) throw FFMpegException("Could not alloc chapters");
    Out->chapters[Out->nb_chapters++] = To;
    To->id = From->id;
    To->time_base = From->time_base;
    To->start = From->start;
    To->end = From->end;
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

}  // namespace

void TTranscoder::BuildInputTables() {
  TOptionState &S = FState;
  int First = 0;
  for (int I = 0; I < S.FInputFileCount; ++I) {
    const int Count = static_cast<int>(S.FInputFiles[I]->nb_streams);
    FFiles.push_back({false, First, Count});
    for (int J = 0; J < Count; ++J) {
      auto Ist = std::make_unique<TInputStream>();
      Ist->FileIndex = I;
      Ist->StreamIndex = J;
      Ist->Stream = S.FInputFiles[I]->streams[J];
      Ist->Decoder = S.FInputCodecs[I][J].get();
      Ist->RateEmu = S.FInputRateEmu[I];
      if (S.FAutoRotate && Ist->Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
        Ist->Rotation = TAVProbe::StreamRotation(Ist->Stream);
      if (Ist->RateEmu) Ist->Start = LibAVUtil::av_gettime();
      FInputStreams.push_back(std::move(Ist));
    }
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
    AVFormatContext *Output = S.FOutputFiles[I].get();
    for (unsigned J = 0; J < Output->nb_streams; ++J) {
      auto Ost = std::make_unique<TOutputStream>();
      Ost->FileIndex = I;
      Ost->Index = static_cast<int>(J);
      Ost->Stream = Output->streams[J];
      Ost->Encoder = S.FOutputStreams[I][J].Encoder.get();
      Ost->StreamCopy = S.FOutputStreams[I][J].StreamCopy;
      Ost->Source = S.FOutputStreams[I][J].Source;
      FOutputStreams.push_back(std::move(Ost));
    }
  }

  const auto TypeOf = [](const TInputStream &Ist) { return Ist.Stream->codecpar->codec_type; };
  for (size_t N = 0; N < FOutputStreams.size(); ++N) {
    TOutputStream &Ost = *FOutputStreams[N];
    const AVMediaType Type = Ost.Encoder->codec_type;
    AVFormatContext *Output = S.FOutputFiles[Ost.FileIndex].get();
    int Source = -1;
    if (Ost.Source.File >= 0) {
      // Made for one input stream (every track, copy all): that one.
      Source = FFiles[Ost.Source.File].FirstStreamIndex + Ost.Source.Stream;
      Ost.SyncInput = FInputStreams[Source].get();
    } else if (S.FStreamMapCount > 0) {
      const TStreamMap &M = S.FStreamMaps[N];
      Source = FFiles[M.FileIndex].FirstStreamIndex + M.StreamIndex;
      if (TypeOf(*FInputStreams[Source]) != Type) {
        LibAVFormat::av_dump_format(Output, Ost.FileIndex, Output->url, 1);
        throw FFMpegException(Format("Codec type mismatch for mapping #%d.%d -> #%d.%d", M.FileIndex,
                                     M.StreamIndex, Ost.FileIndex, Ost.Index));
      }
      Ost.SyncInput = FInputStreams[FFiles[M.SyncFileIndex].FirstStreamIndex + M.SyncStreamIndex].get();
    } else {
      if (S.FProgramID != 0) {
        for (int F = 0; F < S.FInputFileCount && Source < 0; ++F) {
          const AVFormatContext *Input = S.FInputFiles[F].get();
          for (unsigned P = 0; P < Input->nb_programs && Source < 0; ++P) {
            const AVProgram *Program = Input->programs[P];
            if (Program->id != S.FProgramID) continue;
            for (unsigned K = 0; K < Program->nb_stream_indexes && Source < 0; ++K) {
              const int Candidate = FFiles[F].FirstStreamIndex + static_cast<int>(Program->stream_index[K]);
              if (FInputStreams[Candidate]->Discard && TypeOf(*FInputStreams[Candidate]) == Type)
                Source = Candidate;
            }
          }
        }
      } else {
        // A picture goes to the film before a cover or a stream without a size.
        for (const bool MainOnly : {Type == AVMEDIA_TYPE_VIDEO, false})
          for (size_t K = 0; K < FInputStreams.size() && Source < 0; ++K)
            if (FInputStreams[K]->Discard && TypeOf(*FInputStreams[K]) == Type &&
                (!MainOnly || TAVProbe::MainPicture(FInputStreams[K]->Stream)))
              Source = static_cast<int>(K);
        // Every stream of that type already has an output: share the last one.
        if (Source < 0) {
          for (size_t K = FInputStreams.size(); K-- > 0;)
            if (TypeOf(*FInputStreams[K]) == Type) {
              Source = static_cast<int>(K);
              break;
            }
        }
      }
      if (Source < 0) {
        LibAVFormat::av_dump_format(Output, Ost.FileIndex, Output->url, 1);
        throw FFMpegException(
            Format("Could not find input stream matching output stream #%d.%d", Ost.FileIndex, Ost.Index));
      }
      Ost.SyncInput = FInputStreams[Source].get();
    }
    Ost.SourceIndex = Source;
    FInputStreams[Source]->Discard = false;
    // Copied pictures keep their own times, and some containers store none
    // for some pictures (AVI with packed B-frames): the demuxer makes them.
    if (Ost.StreamCopy && Type == AVMEDIA_TYPE_VIDEO)
      S.FInputFiles[FInputStreams[Source]->FileIndex]->flags |= AVFMT_FLAG_GENPTS;
  }
}

void TTranscoder::DeriveParameters(TOutputStream &Ost, int Position) {
  const TOptionState &S = FState;
  TInputStream &Ist = *FInputStreams[Ost.SourceIndex];
  AVStream *Out = Ost.Stream;
  const AVStream *In = Ist.Stream;

  if (!LibAVUtil::av_dict_get(Out->metadata, "language", nullptr, 0))
    if (const AVDictionaryEntry *Language = LibAVUtil::av_dict_get(In->metadata, "language", nullptr, 0))
      LibAVUtil::av_dict_set(&Out->metadata, "language", Language->value, 0);
  if (S.FStreamPlan != TStreamPlan::OnePerType) CopyStreamTags(In, Out, Ost.StreamCopy);
  // MP4 players name a track by its handler: a track's title goes there.
  if (const AVDictionaryEntry *Title = LibAVUtil::av_dict_get(Out->metadata, "title", nullptr, 0);
      Title && std::string_view(S.FOutputFiles[Ost.FileIndex]->oformat->name) == "mp4")
    LibAVUtil::av_dict_set(&Out->metadata, "handler_name", Title->value, 0);
  Out->disposition = In->disposition;

  if (Ost.StreamCopy)
    DeriveCopyParameters(Ost, Ist);
  else
    StartEncoding(Ost, Ist, Position);
}

void TTranscoder::DeriveCopyParameters(TOutputStream &Ost, const TInputStream &Ist) {
  const TOptionState &S = FState;
  const AVCodecContext *Enc = Ost.Encoder;
  AVStream *Out = Ost.Stream;
  const AVStream *In = Ist.Stream;
  const AVMediaType Type = Enc->codec_type;
  switch (Type) {
    case AVMEDIA_TYPE_AUDIO:
      if (S.FAudioVolume != 256)
        throw FFMpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_VIDEO:
      if (S.FHookChoice == THookChoice::CustomHook || FTask.FOnCustomHook)
        throw FFMpegException("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
      if (S.FUsingVHook)
        throw FFMpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
      // Copied pictures are shown turned only through their display
      // matrix, which the Matroska writer of these libraries drops: a clip
      // shot upright would play on its side.
      if (const int Turn = TAVProbe::StreamRotation(In);
          Turn != 0 && !(In->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
          S.FOutputFiles[Ost.FileIndex]->oformat->name == std::string_view("matroska"))
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
  const AVCodecTag *const *Tags = S.FOutputFiles[Ost.FileIndex]->oformat->codec_tag;
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
  Ost.EncoderTimeBase = In->time_base;
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
    if (Rate.num > 0 && Rate.den > 0) Ost.EncoderTimeBase = {Rate.den, Rate.num};
  }
}

void TTranscoder::StartEncoding(TOutputStream &Ost, TInputStream &Ist, int Position) {
  const TOptionState &S = FState;
  const AVCodecContext *Enc = Ost.Encoder;
  const AVCodecContext *Dec = Ist.Decoder;
  Ost.Link = std::make_unique<TStreamLink>(*this, Ost);
  switch (Enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      Ost.Audio = std::make_unique<TAudioPath>(
          FTask, FState, *Ost.Link, Enc->sample_rate != Dec->sample_rate || S.FAudioSyncMethod >= 2);
      break;
    case AVMEDIA_TYPE_VIDEO:
      // Pictures left as stored ("autorotate" off) are shown upright
      // through the source's display matrix; turned ones need none.
      if (!S.FAutoRotate) CopyStreamSideData(Ist.Stream, Ost.Stream, true);
      Ost.Video = std::make_unique<TVideoPath>(FTask, FState, *Ost.Link);
      Ost.Video->Configure(Ist, Ost.Stream);
      break;
    case AVMEDIA_TYPE_SUBTITLE: break;
    default: throw FFMpegException("invalid codec_type of output stream");
  }
  Ost.EncodingNeeded = true;
  Ist.DecodingNeeded = true;
  Ost.EncoderTimeBase = Enc->time_base;
  OpenPassLog(Ost, Position);
}

void TTranscoder::OpenPassLog(TOutputStream &Ost, int Position) {
  AVCodecContext *Enc = Ost.Encoder;
  if (!(Enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) return;
  const std::string Base = FState.FPassLogFileName.empty() ? "ffmpeg2pass" : FState.FPassLogFileName;
  const std::string Name = (Base + "-" + std::to_string(Position) + ".log").substr(0, 1023);
  if (Enc->flags & AV_CODEC_FLAG_PASS1) {
    Ost.LogFile.reset(MyUtil::my_fopen(Name.c_str(), "w"));
    if (!Ost.LogFile) throw FFMpegException("creat file fail: " + Name);
    return;
  }
  TFileHolder File(MyUtil::my_fopen(Name.c_str(), "r"));
  if (!File) throw FFMpegException("creat open fail: " + Name);
  MyUtil::my_fseek(File.get(), 0, SEEK_END);
  const long Size = std::max(MyUtil::my_ftell(File.get()), 0L);
  MyUtil::my_fseek(File.get(), 0, SEEK_SET);
  char *Text = static_cast<char *>(LibAVUtil::av_malloc(static_cast<size_t>(Size) + 1));
  if (!Text) throw FFMpegException("Could not allocate log buffer");
  const size_t Read = MyUtil::my_fread(Text, 1, static_cast<size_t>(Size), File.get());
  Text[Read] = '\0';
  LibAVUtil::av_freep(&Enc->stats_in);
  Enc->stats_in = Text;
}

void TTranscoder::OpenCodecs() {
  TOptionState &S = FState;
  // Decoders first: a text subtitle encoder starts from the styles its
  // decoder found when it opened.
  for (auto &IstHolder : FInputStreams) {
    TInputStream &Ist = *IstHolder;
    if (!Ist.DecodingNeeded) continue;
    const AVCodec *Codec = LibAVCodec::avcodec_find_decoder(Ist.Decoder->codec_id);
    if (!Codec)
      throw FFMpegException(Format("Unsupported codec (id=%d) for input stream #%d.%d", Ist.Decoder->codec_id,
                                   Ist.FileIndex, Ist.StreamIndex));
    // The task's thread count as it stands now, so that a count set with the
    // output's options also reaches the decoders made when the input opened.
    Ist.Decoder->thread_count = S.FThreadCount;
    int Result;
    {
      std::lock_guard Guard(CodecOpenLock());
      Result = LibAVCodec::avcodec_open2(Ist.Decoder, Codec, nullptr);
    }
    if (Result < 0)
      throw FFMpegException(
          Format("Error while opening codec for input stream #%d.%d", Ist.FileIndex, Ist.StreamIndex));
    Ist.Frame.reset(LibAVUtil::av_frame_alloc());
    if (!Ist.Frame) throw FFMpegException("av_mallocz fail");
  }
  for (auto &OstHolder : FOutputStreams) {
    TOutputStream &Ost = *OstHolder;
    if (!Ost.EncodingNeeded) continue;
    AVCodecContext *Enc = Ost.Encoder;
    const TInputStream &Ist = *FInputStreams[Ost.SourceIndex];
    // The encoder the stream was made for (found by its name), else the one of its id.
    const AVCodec *Codec = Enc->codec ? Enc->codec : LibAVCodec::avcodec_find_encoder(Enc->codec_id);
    if (!Codec)
      throw FFMpegException(Format("Unsupported codec for output stream #%d.%d", Ost.FileIndex, Ost.Index));
    // Text subtitles keep the styles the decoder found.
    if (Enc->codec_type == AVMEDIA_TYPE_SUBTITLE && Ist.Decoder->subtitle_header && !Enc->subtitle_header) {
      Enc->subtitle_header =
          static_cast<uint8_t *>(LibAVUtil::av_mallocz(Ist.Decoder->subtitle_header_size + 1));
      if (Enc->subtitle_header) {
        std::memcpy(Enc->subtitle_header, Ist.Decoder->subtitle_header, Ist.Decoder->subtitle_header_size);
        Enc->subtitle_header_size = Ist.Decoder->subtitle_header_size;
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
    if (Result < 0)
      throw FFMpegException(
          Format("Error while opening codec for output stream #%d.%d - maybe incorrect "
                 "parameters such as bit_rate, rate, width or height",
                 Ost.FileIndex, Ost.Index));
    if (LibAVCodec::avcodec_parameters_from_context(Ost.Stream->codecpar, Enc) < 0)
      throw FFMpegException(
          Format("Error while opening codec for output stream #%d.%d - maybe incorrect "
                 "parameters such as bit_rate, rate, width or height",
                 Ost.FileIndex, Ost.Index));
    Ost.Stream->time_base = Enc->time_base;
    S.FExtraSize += Enc->extradata_size;
  }

  for (auto &Ist : FInputStreams) {
    Ist->Pts = 0;
    Ist->NextPts = AV_NOPTS_VALUE;
    Ist->IsStart = true;
  }
}

void TTranscoder::CopyMetaData() {
  TOptionState &S = FState;
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
    if (All || TakesChapters(Out)) CopyChapters(Source, Out);
  }
}

void TTranscoder::WriteHeaders() {
  TOptionState &S = FState;
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
    if (Result < 0)
      throw FFMpegException(
          Format("Could not write header for output file #%d (incorrect codec parameters ?): %s", I,
                 TAVProbe::ErrorDescription(Result).c_str()));
    AllRTP &= std::strcmp(Output->oformat->name, "rtp") == 0;
  }
  if (AllRTP && FTask.FOnLog) {
    std::vector<AVFormatContext *> Outputs;
    for (int I = 0; I < S.FOutputFileCount; ++I) Outputs.push_back(S.FOutputFiles[I].get());
    char SDP[2048] = {};
    LibAVFormat::av_sdp_create(Outputs.data(), static_cast<int>(Outputs.size()), SDP, sizeof SDP);
    FTask.Log(1, "SDP: " + Trim(SDP));
  }
}

void TTranscoder::Setup() {
  TOptionState &S = FState;
  BuildInputTables();
  MapStreams();
  for (size_t N = 0; N < FOutputStreams.size(); ++N)
    DeriveParameters(*FOutputStreams[N], static_cast<int>(N));

  for (int I = 0; I < S.FOutputFileCount; ++I)
    LibAVFormat::av_dump_format(S.FOutputFiles[I].get(), I, S.FOutputFiles[I]->url, 1);
  if (S.FVerbose >= 0 && FTask.FOnLog) {
    FTask.Log(1, "Stream mapping:");
    for (const auto &Ost : FOutputStreams) {
      const TInputStream &Source = *FInputStreams[Ost->SourceIndex];
      FTask.Log(1, Format("  Stream #%d.%d -> #%d.%d", Source.FileIndex, Source.StreamIndex, Ost->FileIndex,
                          Ost->Index));
      if (Ost->SyncInput != &Source)
        FTask.Log(1, Format(" [sync #%d.%d]", Ost->SyncInput->FileIndex, Ost->SyncInput->StreamIndex));
    }
  }
  OpenCodecs();
  CopyMetaData();
  WriteHeaders();
  S.FTimerStart = LibAVUtil::av_gettime();
}

void TTranscoder::CloseCodecs() {
  TOptionState &S = FState;
  for (auto &Ost : FOutputStreams)
    if (Ost->Encoder) EndEncoding(*Ost);
  for (int I = 0; I < MaxFiles; ++I) {
    for (TOutputStreamSetup &Setup : S.FOutputStreams[I]) Setup.Encoder.reset();
  }
  for (int I = 0; I < MaxFiles; ++I)
    for (TCodecHolder &Decoder : S.FInputCodecs[I]) Decoder.reset();
  for (auto &Ost : FOutputStreams) Ost->Encoder = nullptr;
  for (auto &Ist : FInputStreams) Ist->Decoder = nullptr;
}

}  // namespace korvane
