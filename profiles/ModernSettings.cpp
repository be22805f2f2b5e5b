// SPDX-License-Identifier: GPL-3.0-or-later
#include "ModernSettings.h"

#include <cmath>
#include <cstdio>
#include <span>
#include <utility>

#include "ItemLists.h"
#include "ModernOptionSets.h"
#include "ProfileSettings.h"
#include "SizeTarget.h"
#include "TextConvert.h"

namespace korvane {

namespace {

using enum TSettingsVariant;

// The constant-quality figures are chosen so that each step looks alike
// whatever the codec: measured against the source on a detailed moving
// picture, the four encoders come within about half a decibel of PSNR of
// each other at every step (about 45, 42 and 39 dB). VP9 and AV1 count on
// a scale of 63, so their figures are higher for the same look.
// x264 at its default preset; x265 one step faster than its default, which
// is too slow for a desktop; VP9 in good-quality mode at speed 4 with rows in
// parallel; SVT-AV1 at preset 8, libaom (where SVT-AV1 is missing) at
// speed 6 with rows in parallel.
// H.264 stays 8-bit: the players of H.264 files take 8 bits only.
constexpr TModernVideoEncoder kVideoEncoders[] = {
    {"H.264", "libx264", {18, 22, 26}, "preset=medium\n", false},
    {"H.265/HEVC", "libx265", {17, 21, 25}, "preset=fast\nx265-params=log-level=error\n", true},
    {"VP9", "libvpx-vp9", {24, 32, 38}, "deadline=good\ncpu-used=4\nrow-mt=1\n", true},
    {"AV1", "libsvtav1", {24, 32, 40}, "preset=8\ncpu-used=6\nrow-mt=1\n", true},
};

constexpr std::pair<std::string_view, std::string_view> kAudioEncoders[] = {
    {"AAC", "aac"},
    {"Opus", "libopus"},
    {"FLAC", "flac"},
};

// Every player of these formats takes 8-bit 4:2:0 pictures; a source of
// finer colour is converted to it. A source of more bits per sample, or an
// HDR one, keeps 10 bits where the encoder codes them (cutting them to 8
// would band its gradients), else its HDR is tone-mapped to SDR.
constexpr std::string_view kPlayablePictures = "pix_fmt=yuv420p\n";
constexpr std::string_view kTenBitPictures = "deep_pix_fmt=yuv420p10le\n";
constexpr std::string_view kToSdr = "hdr=sdr\n";

constexpr std::string_view kOriginal = "Original";

int32_t ReadKilobits(const std::string &Text) { return StrToInt(Text.substr(0, Text.find(' ')) + "000"); }

// The number in front of a "48000 Hz" item; 0 for "Original".
int32_t ReadRate(const std::string &Text) {
  return Text.empty() || Text == kOriginal ? 0 : StrToInt(Text.substr(0, Text.find(' ')));
}

std::string_view AudioEncoder(const std::string &Item) {
  for (const auto &[Shown, Encoder] : kAudioEncoders)
    if (Item == Shown) return Encoder;
  return {};
}

// FrameRate: the frame-rate item as the engine's text, read beforehand.
void ApplyVideo(const TCatalogueRow &Profile, const TProfileForm &Form, const std::string &FrameRate,
                TOutputOptions &Options, std::string &Lines) {
  const std::string Codec = Form.ComboVideoCodec.Text();
  if (Codec.empty()) {
    Options.VideoDisable = true;  // audio formats: no picture, no cover either
    return;
  }
  if (Codec == kCopyItem) {
    Options.VideoCodec = "copy";
    return;
  }
  const TModernVideoEncoder *Encoder = FindModernVideoEncoder(Codec);
  if (!Encoder) return;
  Options.VideoCodec = Encoder->Encoder;
  Lines += Encoder->Options;
  Lines += kPlayablePictures;
  if (Encoder->TenBit) Lines += kTenBitPictures;
  if (!Encoder->TenBit || Form.HdrToSdr) Lines += kToSdr;
  if (const int Step = kQualitySteps.IndexOf(Form.ComboVideoBitrate.Text()); Step >= 0)
    Lines += "crf=" + std::to_string(Encoder->Quality[Step]) + "\n";
  // Apple's players take H.265 in MP4 only under this tag.
  if (Encoder->Encoder == "libx265" && Profile.Extension == "MP4") Options.VideoTag = "hvc1";

  const std::string Size = Form.ComboVideoSize.Text();
  if (!Size.empty() && Size != "Original Video Size") Options.FrameSize = ParseFrameSizeText(Size);
  // "Auto": each picture at its own time, so a variable rate stays variable.
  if (FrameRate.empty())
    Options.VideoSyncMethod = 2;
  else
    Options.FrameRate = FrameRate;
}

void ApplyAudio(const TProfileForm &Form, TOutputOptions &Options, std::string &Lines) {
  const std::string Codec = Form.ComboAudioCodec.Text();
  if (Codec == kCopyItem) {
    Options.AudioCodec = "copy";
    return;
  }
  Options.AudioCodec = AudioEncoder(Codec);
  const std::string Channels = Form.ComboAudioChannels.Text();
  if (Channels == kOriginal)
    Lines += "ac=0\n";
  else
    Options.AudioChannels = Channels == "Mono" ? 1 : 2;
}

}  // namespace

bool IsModernVariant(TSettingsVariant Variant) {
  return Variant == Quality || Variant == EveryTrack || Variant == CopyAll;
}

const TModernVideoEncoder *FindModernVideoEncoder(std::string_view Item) {
  for (const TModernVideoEncoder &Encoder : kVideoEncoders)
    if (Encoder.Item == Item) return &Encoder;
  return nullptr;
}

void ApplyModernSettings(const TCatalogueRow &Profile, const TProfileForm &Form, TOutputOptions &Options) {
  // Numbers first, so a text that does not read leaves the record alone.
  const std::string VideoRate = Form.ComboVideoBitrate.Text();
  // A "File Size" item sets no rate here: the set-up plans it from the
  // file's length (AimAtSize).
  const bool Bitrate =
      !VideoRate.empty() && kQualitySteps.IndexOf(VideoRate) < 0 && !FileSizeItemBytes(VideoRate);
  const int32_t VideoBitrate = Bitrate ? ReadKilobits(VideoRate) : -1;
  const std::string AudioRate = Form.ComboAudioBitrate.Text();
  const int32_t AudioBitrate = AudioRate.empty() ? -1 : ReadKilobits(AudioRate);
  const int32_t SampleRate = ReadRate(Form.ComboSamplingRate.Text());
  const std::string FrameRate = ParseFrameRateText(Form.ComboVideoFramerate.Text());

  std::string Lines;
  ApplyVideo(Profile, Form, FrameRate, Options, Lines);
  ApplyAudio(Form, Options, Lines);
  Options.VideoBitrate = VideoBitrate;
  Options.AudioBitrate = AudioBitrate;
  if (SampleRate > 0)
    Options.AudioSampleRate = SampleRate;
  else if (Options.AudioCodec != "copy")
    Lines += "ar=0\n";
  // MP4 and WebM keep every audio track and text subtitle too, as MKV does.
  const bool ManyTracks = Profile.Extension == "MP4" || Profile.Extension == "WEBM";
  if (Profile.Variant == EveryTrack || (Profile.Variant == Quality && ManyTracks)) Lines += "every_track\n";
  if (Profile.Variant == CopyAll) Lines += "copy_all\n";
  Options.ExtOptions = Lines;
}

bool HdrChoiceOffered(const TProfileForm &Form) {
  const TCatalogueRow *Profile = FindProfile(Form.ComboOutputFormat.Text());
  const TModernVideoEncoder *Encoder = FindModernVideoEncoder(Form.ComboVideoCodec.Text());
  return Profile && IsModernVariant(Profile->Variant) && Encoder && Encoder->TenBit;
}

bool HdrChoiceShown(const TProfileForm &Form) {
  const TCatalogueRow *Profile = FindProfile(Form.ComboOutputFormat.Text());
  if (!Profile || !IsModernVariant(Profile->Variant)) return false;
  for (const std::string &Item : Form.ComboVideoCodec.Items)
    if (const TModernVideoEncoder *Encoder = FindModernVideoEncoder(Item); Encoder && Encoder->TenBit)
      return true;
  return false;
}

std::string FrameSizeForHeight(std::string_view SizeItem, double DisplayAspect) {
  const std::string Size = ParseFrameSizeText(SizeItem);
  int Width = 0, Height = 0;
  if (DisplayAspect <= 0 || std::sscanf(Size.c_str(), "%dx%d", &Width, &Height) != 2 || Height <= 0)
    return Size;
  const int Even = std::max(2, 2 * static_cast<int>(std::lround(Height * DisplayAspect / 2)));
  return std::to_string(Even) + "x" + std::to_string(Height);
}

}  // namespace korvane
