// SPDX-License-Identifier: GPL-3.0-or-later
#include "HdrMetadata.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "AVLibraries.h"
#include "FFMpegException.h"
#include "TextFormat.h"

namespace korvane {

namespace {

// PQ codes light up to 10000 cd/m2; SDR's white is 100.
constexpr double PQPeakNits = 10000;
constexpr double SDRWhiteNits = 100;

// How many packets the first picture may take to appear (a file that
// interleaves a long stretch of other streams first, a decoder's delay).
constexpr int PacketsForFirstPicture = 500;

double Value(AVRational Q) { return Q.den > 0 ? static_cast<double>(Q.num) / Q.den : -1; }

// A chromaticity coordinate: between 0 and 1.
bool Chromaticity(AVRational Q) { return Q.den > 0 && Q.num >= 0 && Q.num <= Q.den; }

bool Plausible(const AVMasteringDisplayMetadata &M) {
  if (!M.has_primaries || !M.has_luminance) return false;
  for (const AVRational(&Point)[2] : M.display_primaries)
    if (!Chromaticity(Point[0]) || !Chromaticity(Point[1])) return false;
  if (!Chromaticity(M.white_point[0]) || !Chromaticity(M.white_point[1])) return false;
  const double Least = Value(M.min_luminance), Greatest = Value(M.max_luminance);
  return Least >= 0 && Least < Greatest && Greatest <= PQPeakNits;
}

// Keeps what a side-data block of Type holds, when it is whole and plausible.
void Take(THdrMetadata &Metadata, bool Mastering, const uint8_t *Data, size_t Size) {
  if (!Data) return;
  if (Mastering && Size >= sizeof(AVMasteringDisplayMetadata)) {
    AVMasteringDisplayMetadata M;
    std::memcpy(&M, Data, sizeof M);
    if (Plausible(M)) Metadata.Mastering = M;
  } else if (!Mastering && Size >= sizeof(AVContentLightMetadata)) {
    AVContentLightMetadata L;
    std::memcpy(&L, Data, sizeof L);
    if (L.MaxCLL > 0 || L.MaxFALL > 0) Metadata.Light = L;
  }
}

THdrMetadata PictureHdrMetadata(const AVFrame *Picture) {
  THdrMetadata Metadata;
  for (int I = 0; I < Picture->nb_side_data; ++I) {
    const AVFrameSideData *Data = Picture->side_data[I];
    if (Data->type == AV_FRAME_DATA_MASTERING_DISPLAY_METADATA)
      Take(Metadata, true, Data->data, Data->size);
    else if (Data->type == AV_FRAME_DATA_CONTENT_LIGHT_LEVEL)
      Take(Metadata, false, Data->data, Data->size);
  }
  return Metadata;
}

bool IsLocalFile(const char *Url) {
  struct stat Facts {};
  return Url && stat(Url, &Facts) == 0 && S_ISREG(Facts.st_mode);
}

// Adds "Key=Value" to the ":"-separated parameter list List of Options,
// unless the list sets Key already.
void AddParameter(AVDictionary **Options, const char *List, const std::string &Key,
                  const std::string &Value) {
  const AVDictionaryEntry *Entry = LibAVUtil::av_dict_get(*Options, List, nullptr, 0);
  const std::string Current = Entry ? Entry->value : "";
  if ((":" + Current).find(":" + Key + "=") != std::string::npos) return;
  LibAVUtil::av_dict_set(Options, List, ((Current.empty() ? "" : Current + ":") + Key + "=" + Value).c_str(),
                         0);
}

// x265's units: chromaticity in 0.00002, luminance in 0.0001 cd/m2.
std::string X265MasterDisplay(const AVMasteringDisplayMetadata &M) {
  const auto C = [](AVRational Q) { return static_cast<long long>(Value(Q) * 50000 + 0.5); };
  const auto L = [](AVRational Q) { return static_cast<long long>(Value(Q) * 10000 + 0.5); };
  const auto &P = M.display_primaries;  // red, green, blue
  return Format("G(%lld,%lld)B(%lld,%lld)R(%lld,%lld)WP(%lld,%lld)L(%lld,%lld)", C(P[1][0]), C(P[1][1]),
                C(P[2][0]), C(P[2][1]), C(P[0][0]), C(P[0][1]), C(M.white_point[0]), C(M.white_point[1]),
                L(M.max_luminance), L(M.min_luminance));
}

// SVT-AV1 takes the values themselves.
std::string SvtMasterDisplay(const AVMasteringDisplayMetadata &M) {
  const auto &P = M.display_primaries;
  return Format("G(%.5f,%.5f)B(%.5f,%.5f)R(%.5f,%.5f)WP(%.5f,%.5f)L(%.4f,%.4f)", Value(P[1][0]),
                Value(P[1][1]), Value(P[2][0]), Value(P[2][1]), Value(P[0][0]), Value(P[0][1]),
                Value(M.white_point[0]), Value(M.white_point[1]), Value(M.max_luminance),
                Value(M.min_luminance));
}

}  // namespace

void THdrMetadata::Complete(const THdrMetadata &Other) {
  if (!Mastering) Mastering = Other.Mastering;
  if (!Light) Light = Other.Light;
}

double THdrMetadata::PeakNits(double Fallback) const {
  double Peak = Fallback;
  if (Light && Light->MaxCLL > 0)
    Peak = Light->MaxCLL;
  else if (Mastering)
    Peak = Value(Mastering->max_luminance);
  return std::clamp(Peak, SDRWhiteNits, PQPeakNits);
}

THdrMetadata StreamHdrMetadata(const AVStream *Stream) {
  THdrMetadata Metadata;
  for (int I = 0; I < Stream->nb_side_data; ++I) {
    const AVPacketSideData &Data = Stream->side_data[I];
    if (Data.type == AV_PKT_DATA_MASTERING_DISPLAY_METADATA)
      Take(Metadata, true, Data.data, Data.size);
    else if (Data.type == AV_PKT_DATA_CONTENT_LIGHT_LEVEL)
      Take(Metadata, false, Data.data, Data.size);
  }
  return Metadata;
}

THdrMetadata FirstPictureHdrMetadata(const AVFormatContext *Input, int StreamIndex) {
  if (!Input || StreamIndex < 0 || StreamIndex >= static_cast<int>(Input->nb_streams) ||
      !IsLocalFile(Input->url))
    return {};
  AVFormatContext *Context = LibAVFormat::avformat_alloc_context();
  if (!Context) return {};
  Context->interrupt_callback = Input->interrupt_callback;
  if (LibAVFormat::avformat_open_input(&Context, Input->url, Input->iformat, nullptr) < 0) return {};
  const TInputFormatHolder File(Context);
  if (StreamIndex >= static_cast<int>(File->nb_streams)) return {};
  for (unsigned I = 0; I < File->nb_streams; ++I)
    File->streams[I]->discard = static_cast<int>(I) == StreamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

  // The stream as the opened source knows it, after its stream information.
  const AVStream *Known = Input->streams[StreamIndex];
  const AVCodec *Codec = LibAVCodec::avcodec_find_decoder(Known->codecpar->codec_id);
  TCodecHolder Decoder(LibAVCodec::avcodec_alloc_context3(Codec));
  if (!Codec || !Decoder || LibAVCodec::avcodec_parameters_to_context(Decoder.get(), Known->codecpar) < 0)
    return {};
  Decoder->pkt_timebase = File->streams[StreamIndex]->time_base;
  Decoder->thread_count = 1;  // the first picture at once, without a pipeline to fill
  {
    std::lock_guard Guard(CodecOpenLock());
    if (LibAVCodec::avcodec_open2(Decoder.get(), Codec, nullptr) < 0) return {};
  }
  const TPacketHolder Packet(LibAVCodec::av_packet_alloc());
  const TFrameHolder Picture(LibAVUtil::av_frame_alloc());
  if (!Packet || !Picture) return {};
  for (int Read = 0; Read < PacketsForFirstPicture; ++Read) {
    const int Result = LibAVFormat::av_read_frame(File.get(), Packet.get());
    if (Result >= 0 && Packet->stream_index != StreamIndex) {
      LibAVCodec::av_packet_unref(Packet.get());
      continue;
    }
    LibAVCodec::avcodec_send_packet(Decoder.get(), Result >= 0 ? Packet.get() : nullptr);
    LibAVCodec::av_packet_unref(Packet.get());
    if (LibAVCodec::avcodec_receive_frame(Decoder.get(), Picture.get()) >= 0)
      return PictureHdrMetadata(Picture.get());
    if (Result < 0) break;
  }
  return {};
}

void AddStreamHdrMetadata(const THdrMetadata &Metadata, AVStream *Stream) {
  const auto Add = [Stream](AVPacketSideDataType Type, const void *Data, size_t Size) {
    if (LibAVFormat::av_stream_get_side_data(Stream, Type, nullptr)) return;  // set already
    uint8_t *Copy = LibAVFormat::av_stream_new_side_data(Stream, Type, Size);
    if (!Copy) throw FFMpegException("Could not copy the side data of the input stream");
    std::memcpy(Copy, Data, Size);
  };
  if (Metadata.Mastering)
    Add(AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &*Metadata.Mastering, sizeof(AVMasteringDisplayMetadata));
  if (Metadata.Light) Add(AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &*Metadata.Light, sizeof(AVContentLightMetadata));
}

void AddEncoderHdrMetadata(const THdrMetadata &Metadata, const AVCodec *Codec, AVDictionary **Options) {
  if (!Codec) return;
  const std::string Name = Codec->name;
  if (Name == "libx265") {
    if (Metadata.Mastering)
      AddParameter(Options, "x265-params", "master-display", X265MasterDisplay(*Metadata.Mastering));
    if (Metadata.Light)
      AddParameter(Options, "x265-params", "max-cll",
                   Format("%u,%u", Metadata.Light->MaxCLL, Metadata.Light->MaxFALL));
  } else if (Name == "libsvtav1") {
    if (Metadata.Mastering)
      AddParameter(Options, "svtav1-params", "mastering-display", SvtMasterDisplay(*Metadata.Mastering));
    if (Metadata.Light)
      AddParameter(Options, "svtav1-params", "content-light",
                   Format("%u,%u", Metadata.Light->MaxCLL, Metadata.Light->MaxFALL));
  }
}

}  // namespace korvane
