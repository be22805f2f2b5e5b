// SPDX-License-Identifier: GPL-3.0-or-later
#include "AVProbe.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "../binding/TextFormat.h"

namespace korvane {

namespace {

// Result codes of a failed open, as the user-facing texts know them.
enum TOpenError {
  OpenErrorNoEntry = -2,
  OpenErrorIO = -5,
  OpenErrorNoMemory = -12,
  OpenErrorInvalidData = -22,
  OpenErrorNumberExpected = -33,
  OpenErrorUnknownFormat = -42,
};

// Folds the present library's error codes onto the ones the texts describe.
int OpenErrorKind(int Code) {
  switch (Code) {
    case AVERROR(ENOENT): return OpenErrorNoEntry;
    case AVERROR(EIO):
    case AVERROR_EOF: return OpenErrorIO;
    case AVERROR(ENOMEM): return OpenErrorNoMemory;
    case AVERROR(EINVAL):
    case AVERROR_INVALIDDATA: return OpenErrorInvalidData;
    case AVERROR(EDOM): return OpenErrorNumberExpected;
    case OpenErrorUnknownFormat:
    case AVERROR_DEMUXER_NOT_FOUND: return OpenErrorUnknownFormat;
    default: return Code;
  }
}

template <size_t N>
void CopyText(std::array<char, N> &Target, const char *Source) {
  Target.fill('\0');
  if (Source) std::strncpy(Target.data(), Source, N - 1);
}

const char *Tag(const AVDictionary *Metadata, const char *Key) {
  const AVDictionaryEntry *Entry = LibAVUtil::av_dict_get(Metadata, Key, nullptr, 0);
  return Entry ? Entry->value : nullptr;
}

// The leading number of a tag such as "2008-05-01" or "3/12"; 0 if none.
int32_t LeadingNumber(const char *Text) {
  if (!Text) return 0;
  const long Value = std::strtol(Text, nullptr, 10);
  return static_cast<int32_t>(std::clamp<long>(Value, 0, std::numeric_limits<int32_t>::max()));
}

int32_t ClampToInt32(int64_t Value) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(Value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Files that never end or never answer (pipes, sockets) and folders cannot be
// probed; refusing them up front keeps the caller from blocking on a read.
// The result is the error code that says why, or 0 for a path to open.
int UnprobeablePathError(const std::string &FileName) {
  struct stat Status {};
  if (stat(FileName.c_str(), &Status) != 0) return 0;
  if (S_ISDIR(Status.st_mode)) return AVERROR(EISDIR);
  if (S_ISFIFO(Status.st_mode) || S_ISSOCK(Status.st_mode)) return AVERROR(ESPIPE);
  return 0;
}

// After an open failed on data it could not use: tells whether any demuxer
// recognises the file by its content. A file name's extension alone picks a
// demuxer (a text file named .mp4 goes to the MP4 reader), so the name is
// left out here: no demuxer for the content means the format is unknown, a
// demuxer that then failed means the header is broken.
bool AnyDemuxerRecognisesContent(const std::string &FileName) {
  AVIOContext *IO = nullptr;
  if (LibAVFormat::avio_open(&IO, FileName.c_str(), AVIO_FLAG_READ) < 0) return false;
  const AVInputFormat *Format = nullptr;
  const int Result = LibAVFormat::av_probe_input_buffer2(IO, &Format, "", nullptr, 0, 0);
  LibAVFormat::avio_closep(&IO);
  return Result >= 0 && Format;
}

}  // namespace

void TAVProbe::CheckAVLibraries() {
  if (!LibAVCodec::Loaded()) throw std::runtime_error("LibAVCodec not loaded.");
  if (!LibAVFormat::Loaded()) throw std::runtime_error("LibAVFormat not loaded.");
  if (!LibAVUtil::Loaded()) throw std::runtime_error("LibAVUtil not loaded.");
  if (!LibSwScale::Loaded()) throw std::runtime_error("LibSwScale not loaded.");
}

std::string TAVProbe::OpenErrorText(const std::string &FileName, int Code) {
  const char *Name = FileName.c_str();
  switch (OpenErrorKind(Code)) {
    case OpenErrorNoEntry: return Format("%s: no such file or directory", Name);
    case OpenErrorIO:
      return Format(
          "%s: I/O error occurred\r\nUsually that means that input file is truncated and/or "
          "corrupted.",
          Name);
    case OpenErrorNoMemory: return Format("%s: memory allocation error occurred", Name);
    case OpenErrorInvalidData: return Format("%s: Error while parsing header", Name);
    case OpenErrorNumberExpected:
      return Format(
          "%s: Incorrect image filename syntax.\r\nUse '%%d' to specify the image number:\r\n"
          "  for img1.jpg, img2.jpg, ..., use 'img%%d.jpg';\r\n"
          "  for img001.jpg, img002.jpg, ..., use 'img%%03d.jpg'.",
          Name);
    case OpenErrorUnknownFormat: return Format("%s: Unknown format", Name);
    default: return Format("%s: Error while opening file (%s)", Name, ErrorDescription(Code).c_str());
  }
}

std::string TAVProbe::ErrorDescription(int Code) {
  char Text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (LibAVUtil::Loaded() && LibAVUtil::av_strerror(Code, Text, sizeof Text) >= 0 && Text[0]) return Text;
  return Format("error %d", Code);
}

std::string TAVProbe::InputOpenErrorText(const std::string &FileName, int Code, bool FormatForced) {
  if (Code == AVERROR_INVALIDDATA && !FormatForced && !AnyDemuxerRecognisesContent(FileName))
    Code = OpenErrorUnknownFormat;
  return OpenErrorText(FileName, Code);
}

bool TAVProbe::MainPicture(const AVStream *Stream) {
  const AVCodecParameters *P = Stream->codecpar;
  return P->codec_type == AVMEDIA_TYPE_VIDEO && !(Stream->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
         P->width > 0 && P->height > 0;
}

bool TAVProbe::HoldsMedia(const AVStream *Stream) {
  const AVCodecParameters *P = Stream->codecpar;
  switch (P->codec_type) {
    case AVMEDIA_TYPE_VIDEO: return P->codec_id != AV_CODEC_ID_NONE && P->width > 0 && P->height > 0;
    case AVMEDIA_TYPE_AUDIO:
      return P->codec_id != AV_CODEC_ID_NONE && P->sample_rate > 0 && P->ch_layout.nb_channels > 0;
    case AVMEDIA_TYPE_SUBTITLE: return P->codec_id != AV_CODEC_ID_NONE;
    default: return true;
  }
}

int TAVProbe::MainVideoStream(const AVFormatContext *Context) {
  for (unsigned I = 0; I < Context->nb_streams; ++I)
    if (MainPicture(Context->streams[I])) return static_cast<int>(I);
  return -1;
}

int TAVProbe::StreamRotation(const AVStream *Stream) {
  size_t Size = 0;
  const uint8_t *Matrix = LibAVFormat::av_stream_get_side_data(Stream, AV_PKT_DATA_DISPLAYMATRIX, &Size);
  if (!Matrix || Size < 9 * sizeof(int32_t)) return 0;
  // A matrix that scales a side to nothing has no angle (not a number).
  const double Angle = LibAVUtil::av_display_rotation_get(reinterpret_cast<const int32_t *>(Matrix));
  if (!std::isfinite(Angle)) return 0;
  const long Quarters = std::lround(-Angle / 90.0) % 4;
  return static_cast<int>((Quarters + 4) % 4) * 90;
}

int TAVProbe::InterruptRequested(void *Probe) {
  return std::chrono::steady_clock::now() > static_cast<TAVProbe *>(Probe)->FReadDeadline;
}

bool TAVProbe::LoadFile(const std::string &FileName, const std::string &AFormatName) {
  CheckAVLibraries();
  CloseFile();

  const AVInputFormat *InputFormat = nullptr;
  if (!AFormatName.empty()) {
    InputFormat = LibAVFormat::av_find_input_format(AFormatName.c_str());
    if (!InputFormat) {
      FLastError = Format("Unknown input format: %s", AFormatName.c_str());
      return false;
    }
  }

  if (const int Refused = UnprobeablePathError(FileName)) {
    FLastError = OpenErrorText(FileName, Refused);
    return false;
  }

  // The context is made here so that the reading time limit applies from the
  // first byte; a failed open frees it and leaves the pointer empty.
  AVFormatContext *Context = LibAVFormat::avformat_alloc_context();
  if (!Context) {
    FLastError = OpenErrorText(FileName, AVERROR(ENOMEM));
    return false;
  }
  Context->interrupt_callback = {&TAVProbe::InterruptRequested, this};
  FReadDeadline = std::chrono::steady_clock::now() + ReadTimeLimit;

  int Result = LibAVFormat::avformat_open_input(&Context, FileName.c_str(), InputFormat, nullptr);
  if (Result < 0) {
    FLastError = InputOpenErrorText(FileName, Result, InputFormat != nullptr);
    FReadDeadline = std::chrono::steady_clock::time_point::max();
    return false;
  }
  FFormatContext.reset(Context);

  Result = LibAVFormat::avformat_find_stream_info(Context, nullptr);
  FReadDeadline = std::chrono::steady_clock::time_point::max();
  if (Result < 0) {
    FLastError = Format("%s: could not find codec parameters", FileName.c_str());
    CloseFile();
    return false;
  }

  ScanStreams();
  FFormatName = AFormatName;
  return true;
}

void TAVProbe::CloseFile() {
  FFormatContext.reset();
  FFormatName.clear();
  ScanStreams();
}

void TAVProbe::ScanStreams() {
  FStreamCount = FProgramCount = -1;
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
  FFirstAudioStream = FFirstVideoStream = FFirstSubtitleStream = -1;
  const AVFormatContext *Context = FFormatContext.get();
  if (!Context) return;

  FStreamCount = static_cast<int>(Context->nb_streams);
  FProgramCount = static_cast<int>(Context->nb_programs);
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
  for (int I = 0; I < FStreamCount; ++I) {
    switch (Context->streams[I]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO: ++FVideoStreamCount; break;
      case AVMEDIA_TYPE_AUDIO:
        ++FAudioStreamCount;
        if (FFirstAudioStream == -1) FFirstAudioStream = I;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        ++FSubtitleStreamCount;
        if (FFirstSubtitleStream == -1) FFirstSubtitleStream = I;
        break;
      default: break;
    }
  }
  FFirstVideoStream = MainVideoStream(Context);
}

void TAVProbe::GetFileInfo(TAVFileInfo &Info) const {
  Info = TAVFileInfo{};
  const AVFormatContext *Context = FFormatContext.get();
  if (!Context) {
    LibAVUtil::av_log(nullptr, AV_LOG_INFO, "file not loaded.\n");
    return;
  }
  const AVDictionary *Tags = Context->metadata;
  Info.StartTime = Context->start_time;
  Info.Duration = Context->duration;
  Info.BitRate = ClampToInt32(Context->bit_rate);
  Info.Timestamp = 0;
  if (const char *Created = Tag(Tags, "creation_time")) {
    int64_t Microseconds = 0;
    if (LibAVUtil::av_parse_time(&Microseconds, Created, 0) >= 0) Info.Timestamp = Microseconds;
  }
  CopyText(Info.Title, Tag(Tags, "title"));
  const char *Artist = Tag(Tags, "artist");
  CopyText(Info.Author, Artist ? Artist : Tag(Tags, "author"));
  CopyText(Info.Copyright, Tag(Tags, "copyright"));
  CopyText(Info.Comment, Tag(Tags, "comment"));
  CopyText(Info.Album, Tag(Tags, "album"));
  Info.Year = LeadingNumber(Tag(Tags, "date"));
  Info.Track = LeadingNumber(Tag(Tags, "track"));
  CopyText(Info.Genre, Tag(Tags, "genre"));
}

void TAVProbe::GetVideoStreamInfo(int StreamIndex, TAVVideoStreamInfo &Info) const {
  Info = TAVVideoStreamInfo{};
  AVFormatContext *Context = FFormatContext.get();
  if (!Context) {
    LibAVUtil::av_log(nullptr, AV_LOG_INFO, "file not loaded.\n");
    return;
  }
  int Index = StreamIndex;
  if (Index < 0) {
    Index = FFirstVideoStream;
    if (Index == -1) {
      LibAVUtil::av_log(nullptr, AV_LOG_ERROR, "no video stream.\n");
      return;
    }
  } else if (Index >= static_cast<int>(Context->nb_streams)) {
    LibAVUtil::av_log(nullptr, AV_LOG_ERROR, "stream index #%d is invalid.\n", Index);
    return;
  }

  AVStream *Stream = Context->streams[Index];
  const AVCodecParameters *Parameters = Stream->codecpar;
  if (Parameters->codec_type != AVMEDIA_TYPE_VIDEO) {
    LibAVUtil::av_log(nullptr, AV_LOG_ERROR, "stream #%d is not video stream.\n", Index);
    return;
  }

  CopyText(Info.Language, Tag(Stream->metadata, "language"));
  const AVCodecDescriptor *Descriptor = LibAVCodec::avcodec_descriptor_get(Parameters->codec_id);
  CopyText(Info.CodecName, Descriptor ? Descriptor->name : nullptr);

  Info.StartTime = Stream->start_time;
  if (Stream->start_time != AV_NOPTS_VALUE)
    Info.StartTimeUS = LibAVUtil::av_rescale_q(Stream->start_time, Stream->time_base, AV_TIME_BASE_Q);
  Info.Duration = Stream->duration;
  if (Stream->duration != AV_NOPTS_VALUE)
    Info.DurationUS = LibAVUtil::av_rescale_q(Stream->duration, Stream->time_base, AV_TIME_BASE_Q);

  Info.BitRate = ClampToInt32(Parameters->bit_rate);
  Info.Height = Parameters->height;
  Info.Width = Parameters->width;

  // The pixel shape as the container or the codec states it, times the
  // picture's proportions; unknown pixel shape gives 0.
  const AVRational PixelShape = LibAVFormat::av_guess_sample_aspect_ratio(Context, Stream, nullptr);
  Info.AspectRatio = 0.0f;
  if (PixelShape.num != 0 && PixelShape.den != 0 && Parameters->height != 0)
    Info.AspectRatio = static_cast<float>(static_cast<double>(PixelShape.num) / PixelShape.den *
                                          Parameters->width / Parameters->height);

  Info.PixelFormat = Parameters->format;
  Info.FrameRateNum = Stream->r_frame_rate.num;
  Info.FrameRateDen = Stream->r_frame_rate.den;
  Info.Rotation = StreamRotation(Stream);
  Info.ColorTransfer = Parameters->color_trc;
}

}  // namespace korvane
