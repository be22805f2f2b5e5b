// SPDX-License-Identifier: GPL-3.0-or-later
// Disc and camera target presets: one call sets the codecs, container,
// picture size, frame rate and rates a player of that format expects.
#include <cmath>

#include "FFmpeg.h"
#include "TextConvert.h"
#include "TextFormat.h"

namespace korvane {

namespace {

// The three norm columns: PAL, NTSC and film.
enum TNormIndex { niPAL = 0, niNTSC = 1, niFilm = 2 };

constexpr const char *FrameRates[] = {"25", "30000/1001", "24000/1001"};

// One preset. A null text leaves that setting unchanged; a pair is the value
// for PAL and the one for NTSC and film.
struct TPresetRow {
  TTargetPreset Preset;
  const char *VideoCodec, *AudioCodec, *Format;
  const char *SizePAL, *SizeNTSC;
  const char *GOPPAL, *GOPNTSC;
  const char *BitRate, *MaxRate, *MinRate, *BufSize, *Flags, *AudioBitRate;
  int SampleRate;
  const char *PacketSize, *MuxRate;
  float MuxPreload;    // 0: unchanged
  const char *Aspect;  // when no aspect ratio is set yet
};

constexpr TPresetRow Presets[] = {
    // clang-format off
    {TTargetPreset::VCD, "mpeg1video", "mp2", "vcd", "352x288", "352x240", "15", "18",
     "1150000", "1150000", "1150000", "327680", nullptr, "224000", 44100, "2324", "1411200", 0.44f, "4:3"},
    {TTargetPreset::SVCD, "mpeg2video", "mp2", "svcd", "480x576", "480x480", "15", "18",
     "2040000", "2516000", "0", "1835008", "+SCAN_OFFSET", "224000", 44100, "2324", nullptr, 0, "4:3"},
    {TTargetPreset::DVD, "mpeg2video", "ac3", "dvd", "720x576", "720x480", "15", "18",
     "6000000", "9000000", "0", "1835008", nullptr, "448000", 48000, "2048", "10080000", 0, "16:9"},
    {TTargetPreset::DV, nullptr, nullptr, "dv", "720x576", "720x480", nullptr, nullptr,
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 48000, nullptr, nullptr, 0, nullptr},
    {TTargetPreset::DV50, nullptr, nullptr, "dv", "720x576", "720x480", nullptr, nullptr,
     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 48000, nullptr, nullptr, 0, nullptr},
    // clang-format on
};

// PAL for 25 fps, NTSC for 29.97 and 23.976 fps, undecided otherwise.
int NormOfRate(int64_t MilliFPS) {
  if (MilliFPS == 25000) return niPAL;
  if (MilliFPS == 29970 || MilliFPS == 23976) return niNTSC;
  return -1;
}

}  // namespace

int TCustomFFmpeg::TargetNormIndex(TNorm Norm, TNorm FallbackNorm) {
  switch (Norm) {
    case TNorm::PAL: return niPAL;
    case TNorm::NTSC: return niNTSC;
    case TNorm::Film: return niFilm;
    case TNorm::Auto: break;
  }
  const TOptionState &S = FState;
  if (S.FFrameRate.den == 0) throw FFMpegException("frame_rate is invalid.");
  int Index = NormOfRate(std::llround(S.FFrameRate.num * 1000.0 / S.FFrameRate.den));
  // Otherwise the first video stream of the open inputs that tells.
  for (int File = 0; Index < 0 && File < S.FInputFileCount; ++File) {
    const AVFormatContext *Input = S.FInputFiles[File].get();
    for (unsigned I = 0; Input && Index < 0 && I < Input->nb_streams; ++I) {
      const AVStream *Stream = Input->streams[I];
      if (Stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || Stream->r_frame_rate.den == 0) continue;
      Index = NormOfRate(std::llround(Stream->r_frame_rate.num * 1000.0 / Stream->r_frame_rate.den));
    }
  }
  if (Index < 0) Index = FallbackNorm == TNorm::Film ? niFilm : FallbackNorm == TNorm::NTSC ? niNTSC : niPAL;
  if (S.FVerbose > 0) Log(1, Format("Assuming %s for target.", Index == niPAL ? "PAL" : "NTSC"));
  return Index;
}

void TCustomFFmpeg::SetTarget(TTargetPreset Preset, TNorm Norm, TNorm FallbackNorm) {
  TOptionState &S = FState;
  const int Index = TargetNormIndex(Norm, FallbackNorm);
  const bool PAL = Index == niPAL;

  const TPresetRow *Row = nullptr;
  for (const TPresetRow &Candidate : Presets)
    if (Candidate.Preset == Preset) Row = &Candidate;
  if (!Row) throw FFMpegException("Unknown target type");

  const auto Generic = [this](const char *Name, const char *Value) {
    if (Value) SetGenericOption(Name, Value);
  };
  if (Row->VideoCodec) SetCodecName(AVMEDIA_TYPE_VIDEO, Row->VideoCodec);
  if (Row->AudioCodec) SetCodecName(AVMEDIA_TYPE_AUDIO, Row->AudioCodec);
  SetOutputFormat(Row->Format);
  SetFrameSize(PAL ? Row->SizePAL : Row->SizeNTSC);
  if (Preset == TTargetPreset::DV50)
    SetPixelFormat("yuv422p");
  else if (Preset == TTargetPreset::DV)
    SetPixelFormat(PAL ? "yuv420p" : "yuv411p");
  SetFrameRate(FrameRates[Index]);
  Generic("gop", PAL ? Row->GOPPAL : Row->GOPNTSC);
  Generic("b", Row->BitRate);
  Generic("maxrate", Row->MaxRate);
  Generic("minrate", Row->MinRate);
  Generic("bufsize", Row->BufSize);
  Generic("flags", Row->Flags);
  Generic("ab", Row->AudioBitRate);
  S.FAudioSampleRate = Row->SampleRate;
  switch (Preset) {
    case TTargetPreset::VCD:
    case TTargetPreset::DV:
    case TTargetPreset::DV50: S.FAudioChannels = 2; break;
    default:
      if (S.FAudioChannels == 1) S.FAudioChannels = 2;
  }
  Generic("packetsize", Row->PacketSize);
  Generic("muxrate", Row->MuxRate);
  if (Row->MuxPreload > 0) S.FMuxPreload = Row->MuxPreload;
  if (Row->Aspect && S.FFrameAspectRatio == 0) SetFrameAspectRatio(Row->Aspect);
}

void TCustomFFmpeg::SetTargetText(const std::string &Text) {
  std::string Type = Trim(Text);
  TNorm Norm = TNorm::Auto;
  constexpr struct {
    const char *Prefix;
    TNorm Norm;
  } Prefixes[] = {{"pal-", TNorm::PAL}, {"ntsc-", TNorm::NTSC}, {"film-", TNorm::Film}};
  for (const auto &P : Prefixes)
    if (Type.rfind(P.Prefix, 0) == 0) {
      Norm = P.Norm;
      Type = Type.substr(std::string(P.Prefix).size());
      break;
    }
  constexpr struct {
    const char *Name;
    TTargetPreset Preset;
  } Types[] = {{"vcd", TTargetPreset::VCD},
               {"svcd", TTargetPreset::SVCD},
               {"dvd", TTargetPreset::DVD},
               {"dv", TTargetPreset::DV},
               {"dv50", TTargetPreset::DV50}};
  for (const auto &T : Types)
    if (Type == T.Name) return SetTarget(T.Preset, Norm, TNorm::NTSC);
  // The norm is decided (and may fail, or be reported) before the type is.
  TargetNormIndex(Norm, TNorm::NTSC);
  throw FFMpegException("Unknown target type");
}

}  // namespace korvane
