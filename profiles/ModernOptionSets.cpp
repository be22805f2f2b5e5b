// SPDX-License-Identifier: GPL-3.0-or-later
#include "ModernOptionSets.h"

#include "ItemLists.h"

namespace korvane {

namespace {

// A size sets the height; the width follows the source's shape.
constexpr TItemList kModernSizes = {
    "Original Video Size", "3840 x 2160 (2160p)", "1920 x 1080 (1080p)",
    "1280 x 720 (720p)",   "854 x 480 (480p)",
};

constexpr TItemList kModernVideoBitrates =
    kQualitySteps + TItemList{"1000 Kbps",        "2000 Kbps",        "4000 Kbps",        "6000 Kbps",
                              "8000 Kbps",        "12000 Kbps",       "20000 Kbps",       "File Size: 10 MB",
                              "File Size: 25 MB", "File Size: 50 MB", "File Size: 100 MB"};

// "Auto" keeps the source's rate, a variable one too.
constexpr TItemList kModernFrameRates = {
    "Auto", "23.976 fps", "24 fps", "25 fps", "29.97 fps", "30 fps", "50 fps", "59.94 fps", "60 fps",
};

constexpr TItemList kModernAudioBitrates = {
    "64 Kbps", "96 Kbps", "128 Kbps", "160 Kbps", "192 Kbps", "256 Kbps", "320 Kbps",
};

// "Original" keeps the source's rate; Opus always codes at 48 kHz.
constexpr TItemList kModernSamplingRates = {"Original", "44100 Hz", "48000 Hz"};
constexpr TItemList kOpusSamplingRates = {"Original", "48000 Hz"};
constexpr TItemList kLosslessSamplingRates = {"Original", "44100 Hz", "48000 Hz", "88200 Hz", "96000 Hz"};

constexpr TOptionSet VideoProfile(const TItemList &Codecs, std::string_view Codec,
                                  const TItemList &AudioCodecs, std::string_view AudioCodec,
                                  std::string_view AudioBitrate, const TItemList &SamplingRates,
                                  std::string_view Channels) {
  return {
      .VideoCodec = {Codecs, Codec},
      .VideoSize = {kModernSizes, "Original Video Size"},
      .VideoBitrate = {kModernVideoBitrates, "Quality: Standard"},
      .VideoFramerate = {kModernFrameRates, "Auto"},
      .AudioCodec = {AudioCodecs, AudioCodec},
      .AudioBitrate = {kModernAudioBitrates, AudioBitrate},
      .SamplingRate = {SamplingRates, "Original"},
      .AudioChannels = Channels,
      .AspectRatio = "Original",
      .ChannelItems = &kAudioChannelItemsWithOriginal,
  };
}

constexpr TOptionSet AudioProfile(std::string_view Codec, const TListChoice &AudioBitrate,
                                  const TItemList &SamplingRates) {
  return {
      .VideoCodec = kEmptied,
      .VideoSize = kEmptied,
      .VideoBitrate = kEmptied,
      .VideoFramerate = kEmptied,
      .AudioCodec = {{Codec}, Codec},
      .AudioBitrate = AudioBitrate,
      .SamplingRate = {SamplingRates, "Original"},
      .AudioChannels = "Original",
      .AspectRatio = "Original",
      .ChannelItems = &kAudioChannelItemsWithOriginal,
  };
}

}  // namespace

// Files that play everywhere: stereo by default.
constinit const TOptionSet kOptionsMp4H264 =
    VideoProfile({"H.264"}, "H.264", {"AAC"}, "AAC", "160 Kbps", kModernSamplingRates, "Stereo");
constinit const TOptionSet kOptionsMp4Hevc =
    VideoProfile({"H.265/HEVC"}, "H.265/HEVC", {"AAC"}, "AAC", "160 Kbps", kModernSamplingRates, "Stereo");

// Every audio track keeps its own channels unless the user asks otherwise.
constinit const TOptionSet kOptionsMkvEveryTrack =
    VideoProfile({"H.264", "H.265/HEVC", "VP9", "AV1"}, "H.264", {"AAC", "Opus", "FLAC"}, "AAC", "192 Kbps",
                 kModernSamplingRates, "Original");

// Nothing is encoded, so nothing is there to choose.
constinit const TOptionSet kOptionsMkvCopy = {
    .VideoCodec = {{kCopyItem}, kCopyItem},
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{kCopyItem}, kCopyItem},
    .AudioBitrate = kEmptied,
    .SamplingRate = kEmptied,
    .AudioChannels = "Original",
    .AspectRatio = "Original",
    .ChannelItems = &kAudioChannelItemsWithOriginal,
};

constinit const TOptionSet kOptionsWebmVp9 =
    VideoProfile({"VP9"}, "VP9", {"Opus"}, "Opus", "128 Kbps", kOpusSamplingRates, "Stereo");
constinit const TOptionSet kOptionsWebmAv1 =
    VideoProfile({"AV1"}, "AV1", {"Opus"}, "Opus", "128 Kbps", kOpusSamplingRates, "Stereo");

constinit const TOptionSet kOptionsFlac = AudioProfile("FLAC", kEmptied, kLosslessSamplingRates);
constinit const TOptionSet kOptionsOpus =
    AudioProfile("Opus", {kModernAudioBitrates, "128 Kbps"}, kOpusSamplingRates);

}  // namespace korvane
