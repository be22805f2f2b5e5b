// SPDX-License-Identifier: GPL-3.0-or-later
// Library options set by name. The option holders keep values for the
// contexts the transcode creates later; FOptNames records which names were
// set. Option names the engine's callers use from older library releases
// are translated here, in one table, to what the present library calls them.
#include <algorithm>
#include <cctype>

#include "AVLibraries.h"
#include "FFmpeg.h"
#include "TextConvert.h"

namespace korvane {

namespace {

// Which parameters of a codec option the holder of each media type takes:
// video, audio, data, subtitle, attachment. Data and attachment take any.
constexpr int TypeMask[MediaTypeCount] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                          AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Names whose present option differs from what callers mean by them.
struct TRenamedOption {
  const char *Name;         // as callers write it
  const char *PresentName;  // as the library knows it now
  bool VideoOnly;           // a video setting the library now shares with audio
};
constexpr TRenamedOption RenamedOptions[] = {
    {"gop", "g", false},          {"b", "b", true},
    {"maxrate", "maxrate", true}, {"minrate", "minrate", true},
    {"bufsize", "bufsize", true},
};

// Options that moved from the generic contexts into one muxer; they are
// kept and handed to the muxer when it is opened.
constexpr const char *FormatPrivateOptions[] = {"muxrate"};

// Options of particular encoders (constant-quality figures, speed presets,
// threading of the VP9 and AV1 libraries): no generic context has them, so
// they are kept by media type and handed to the encoder when it is opened.
// An encoder takes those it knows and leaves the others, so one list can
// carry the options of an encoder and of the one that stands in for it
// ("preset" for SVT-AV1, "cpu-used" for libaom).
struct TEncoderOption {
  const char *Name;
  AVMediaType Type;
};
constexpr TEncoderOption EncoderPrivateOptions[] = {
    {"crf", AVMEDIA_TYPE_VIDEO},          {"preset", AVMEDIA_TYPE_VIDEO},
    {"tune", AVMEDIA_TYPE_VIDEO},         {"deadline", AVMEDIA_TYPE_VIDEO},
    {"cpu-used", AVMEDIA_TYPE_VIDEO},     {"row-mt", AVMEDIA_TYPE_VIDEO},
    {"tile-columns", AVMEDIA_TYPE_VIDEO}, {"x264-params", AVMEDIA_TYPE_VIDEO},
    {"x265-params", AVMEDIA_TYPE_VIDEO},  {"svtav1-params", AVMEDIA_TYPE_VIDEO},
    {"vbr", AVMEDIA_TYPE_AUDIO},          {"application", AVMEDIA_TYPE_AUDIO},
    {"abr", AVMEDIA_TYPE_AUDIO},          {"stats", AVMEDIA_TYPE_VIDEO},
};

// Flag constants that became options of one encoder, by media type.
struct TFlagOption {
  const char *Flag;  // the constant, compared without regard to case
  AVMediaType Type;
  const char *Option;  // the encoder option it became (boolean)
};
constexpr TFlagOption FlagOptions[] = {
    {"scan_offset", AVMEDIA_TYPE_VIDEO, "scan_offset"},
};

std::string LowerCase(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(),
                 [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  return Text;
}

}  // namespace

bool TCustomFFmpeg::SetGenericOption(const std::string &AName, const std::string &AValue) {
  if (Trim(AName).empty() || Trim(AValue).empty()) return false;
  TOptionState &S = FState;
  if (!S.FCodecOptions[0]) return false;  // not prepared

  for (const char *Private : FormatPrivateOptions)
    if (AName == Private) {
      S.FFormatPrivateOptions[AName] = AValue;
      return true;
    }
  for (const TEncoderOption &Private : EncoderPrivateOptions)
    if (AName == Private.Name) {
      S.FCodecPrivateOptions[Private.Type][AName] = AValue;
      return true;
    }

  std::string Name = AName, Value = AValue;
  bool VideoOnly = false;
  for (const TRenamedOption &Renamed : RenamedOptions)
    if (Name == Renamed.Name) {
      Name = Renamed.PresentName;
      VideoOnly = Renamed.VideoOnly;
      break;
    }

  // Flag constants that are encoder options now are taken out of the value
  // and kept for the encoder; the other constants are written in lower case
  // as the library spells them.
  bool FlagsMovedOnly = false;
  if (Name == "flags") {
    std::string Rest;
    bool Moved = false;
    size_t Start = 0;
    while (Start < Value.size()) {
      size_t End = Value.find_first_of("+-", Start + 1);
      if (End == std::string::npos) End = Value.size();
      const std::string Token = Value.substr(Start, End - Start);
      const bool Signed = Token[0] == '+' || Token[0] == '-';
      const std::string Constant = LowerCase(Signed ? Token.substr(1) : Token);
      bool Private = false;
      for (const TFlagOption &Flag : FlagOptions)
        if (Constant == Flag.Flag) {
          S.FCodecPrivateOptions[Flag.Type][Flag.Option] = Token[0] == '-' ? "0" : "1";
          Private = Moved = true;
        }
      if (!Private) Rest += (Signed ? Token.substr(0, 1) : std::string()) + Constant;
      Start = End;
    }
    Value = Rest;
    FlagsMovedOnly = Moved && Rest.empty();
  }

  const AVOption *Set = nullptr;
  if (!FlagsMovedOnly) {
    void *VideoHolder = S.FCodecOptions[AVMEDIA_TYPE_VIDEO].get();
    for (int Type = 0; Type < MediaTypeCount; ++Type) {
      if (VideoOnly && Type == AVMEDIA_TYPE_AUDIO) continue;
      const AVOption *Option = LibAVUtil::av_opt_find(VideoHolder, Name.c_str(), nullptr, TypeMask[Type], 0);
      if (Option && LibAVUtil::av_opt_set(S.FCodecOptions[Type].get(), Name.c_str(), Value.c_str(), 0) >= 0)
        Set = Option;
    }
    for (void *Holder :
         {static_cast<void *>(S.FFormatOptions.get()), static_cast<void *>(S.FScaleOptions.get())}) {
      if (Set) break;
      if (LibAVUtil::av_opt_set(Holder, Name.c_str(), Value.c_str(), 0) >= 0)
        Set = LibAVUtil::av_opt_find(Holder, Name.c_str(), nullptr, 0, 0);
    }
    // "ab", "vb", "sfoo": the option without its first letter, in the holder
    // of the media type that letter names.
    if (!Set && Name.size() > 1) {
      int Type = -1;
      switch (Name[0]) {
        case 'a': Type = AVMEDIA_TYPE_AUDIO; break;
        case 'v': Type = AVMEDIA_TYPE_VIDEO; break;
        case 's': Type = AVMEDIA_TYPE_SUBTITLE; break;
      }
      if (Type >= 0) {
        void *Holder = S.FCodecOptions[Type].get();
        const std::string Short = Name.substr(1);
        if (LibAVUtil::av_opt_set(Holder, Short.c_str(), Value.c_str(), 0) >= 0)
          Set = LibAVUtil::av_opt_find(Holder, Short.c_str(), nullptr, 0, 0);
      }
    }
    if (!Set) return false;
    S.FOptNames.emplace_back(Set->name);
  }

  if (S.FCodecOptions[AVMEDIA_TYPE_VIDEO]->debug != 0 || S.FFormatOptions->debug != 0) {
    SetLibraryLogLevel(2);
    S.FVerbose = 2;
  }
  return true;
}

bool TCustomFFmpeg::SetGenericOption(const std::string &Name, int64_t Value) {
  return SetGenericOption(Name, std::to_string(Value));
}

}  // namespace korvane
