// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceOptionSets.h"

#include "ItemLists.h"

namespace korvane {

namespace {

constexpr TItemList kAppleTvH264Bitrates = {
    "512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "4000 Kbps", "7000 Kbps",
};

// "320 x 240 " carries a trailing blank; the size rule of the settings step
// removes it.
constexpr TItemList kZuneSizes = {"320 x 240 ", "640 x 480"};
constexpr TItemList kZuneBitrates = {"256 Kbps",  "512 Kbps",  "768 Kbps",
                                     "1200 Kbps", "1500 Kbps", "2000 Kbps"};

constexpr TItemList kPs3Bitrates = {"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"};

// The only size list with "Auto"; it keeps the source size, like
// "Original Video Size" (see the settings step).
constexpr TItemList kArchosSizes = {"Auto", "160 x 120", "320 x 240", "480 x 272", "720 x 480", "640 x 480"};

constexpr TItemList kBlackBerryBitrates = {"80 Kbps",  "120 Kbps", "200 Kbps",
                                           "256 Kbps", "300 Kbps", "512 Kbps"};
constexpr TItemList kBlackBerryFrameRates = {"11 fps", "15 fps", "20 fps", "24 fps", "25 fps"};
constexpr TItemList kBlackBerryAudioBitrates = {"40 Kbps", "48 Kbps", "64 Kbps",
                                                "80 Kbps", "96 Kbps", "112 Kbps"};

constexpr TItemList kDeviceVideoCodecs = {"MPEG4", "H264"};

}  // namespace

// ---------------------------------------------------------------------------
// iPod, Apple TV, iPod Touch: one size item each; the settings step always
// encodes AAC and leaves the channel count to the source.

constinit const TOptionSet kOptionsIpod = {
    .VideoCodec = {kDeviceVideoCodecs, "MPEG4"},
    .VideoSize = {{"320 x 240"}, "320 x 240"},
    .VideoBitrate = {kDeviceVideoBitrates, "512 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "64 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsIpodExtra = {
    .VideoCodec = {kDeviceVideoCodecs, "MPEG4"},
    .VideoSize = {{"640 x 480"}, "640 x 480"},
    .VideoBitrate = {kDeviceVideoBitrates, "1500 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "64 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsAppleTv = {
    .VideoCodec = {{"MPEG4"}, "MPEG4"},
    .VideoSize = {{"640 x 480"}, "640 x 480"},
    .VideoBitrate = {kDeviceVideoBitrates, "1500 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsAppleTvH264Small = {
    .VideoCodec = {{"H264"}, "H264"},
    .VideoSize = {{"320 x 240"}, "320 x 240"},
    .VideoBitrate = {kAppleTvH264Bitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "29.97 fps"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "64 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsAppleTvH264Medium = {
    .VideoCodec = {{"H264"}, "H264"},
    .VideoSize = {{"640 x 480"}, "640 x 480"},
    .VideoBitrate = {kAppleTvH264Bitrates, "2000 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "29.97 fps"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "64 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsAppleTvH264Large = {
    .VideoCodec = {{"H264"}, "H264"},
    .VideoSize = {{"1280 x 720"}, "1280 x 720"},
    .VideoBitrate = {kAppleTvH264Bitrates, "2500 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "23.975 fps"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "64 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsIpodTouch = {
    .VideoCodec = {kDeviceVideoCodecs, "MPEG4"},
    .VideoSize = {{"480 x 320"}, "480 x 320"},
    .VideoBitrate = {kDeviceVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "80 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsIpodTouchExtra = {
    .VideoCodec = {kDeviceVideoCodecs, "MPEG4"},
    .VideoSize = {{"640 x 480"}, "640 x 480"},
    .VideoBitrate = {kDeviceVideoBitrates, "1500 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "80 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsIpodTouchWide = {
    .VideoCodec = {kDeviceVideoCodecs, "MPEG4"},
    .VideoSize = {{"720 x 406"}, "720 x 406"},
    .VideoBitrate = {kDeviceVideoBitrates, "1500 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

// ---------------------------------------------------------------------------
// iPhone: the iPod shape, with the shared settings step.

constinit const TOptionSet kOptionsIphone = {
    .VideoCodec = {kDeviceVideoCodecs, "MPEG4"},
    .VideoSize = {{"480 x 320"}, "480 x 320"},
    .VideoBitrate = {kDeviceVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "80 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsIphoneExtra = {
    .VideoCodec = {kDeviceVideoCodecs, "MPEG4"},
    .VideoSize = {{"640 x 480"}, "640 x 480"},
    .VideoBitrate = {kDeviceVideoBitrates, "1500 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsIphoneWide = {
    .VideoCodec = {kDeviceVideoCodecs, "MPEG4"},
    .VideoSize = {{"720 x 480"}, "720 x 480"},
    .VideoBitrate = {kDeviceVideoBitrates, "1500 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

// ---------------------------------------------------------------------------
// Zune

// The MPEG-4 profile offers one frame rate; it is selected.
constinit const TOptionSet kOptionsZuneMpeg4 = {
    .VideoCodec = {kDeviceVideoCodecs, "MPEG4"},
    .VideoSize = {kZuneSizes, "320 x 240 "},
    .VideoBitrate = {kZuneBitrates, "1500 Kbps"},
    .VideoFramerate = {{"29.97 fps"}, "29.97 fps"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsZuneWmv = {
    .VideoCodec = {{"WMV2"}, "WMV2"},
    .VideoSize = {kZuneSizes, "320 x 240 "},
    .VideoBitrate = {kZuneBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"wmav2"}, "wmav2"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

// ---------------------------------------------------------------------------
// PSP and PS3

constinit const TOptionSet kOptionsPsp = {
    .VideoCodec = {{"MPEG4", "H264", "XVID"}, "MPEG4"},
    .VideoSize = {{"160 x 112", "320 x 240", "368 x 208", "480 x 272"}, "368 x 208"},
    .VideoBitrate = {{"768 Kbps"}, "768 Kbps"},
    .VideoFramerate = {{"14.985 fps", "29.97 fps"}, "29.97 fps"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {{"32 Kbps", "48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "160 Kbps"}, "64 Kbps"},
    .SamplingRate = {{"24000 Hz"}, "24000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsPs3 = {
    .VideoCodec = {{"H264"}, "H264"},
    .VideoSize = {{"640 x 480", "720 x 480", "720 x 576"}, "720 x 480"},
    .VideoBitrate = {kPs3Bitrates, "1200 Kbps"},
    .VideoFramerate = {{"29.97 fps"}, "29.97 fps"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "96 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsPs3Hd720 = {
    .VideoCodec = {{"H264"}, "H264"},
    .VideoSize = {{"1280 x 720"}, "1280 x 720"},
    .VideoBitrate = {kPs3Bitrates, "2000 Kbps"},
    .VideoFramerate = {{"29.97 fps"}, "29.97 fps"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "96 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

// 1072 lines, not 1080: a multiple of 16 for the encoder's macroblocks.
constinit const TOptionSet kOptionsPs3Hd1080 = {
    .VideoCodec = {{"H264"}, "H264"},
    .VideoSize = {{"1920 x 1072"}, "1920 x 1072"},
    .VideoBitrate = {kPs3Bitrates, "2000 Kbps"},
    .VideoFramerate = {{"29.97 fps"}, "29.97 fps"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "96 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

// ---------------------------------------------------------------------------
// Archos, BlackBerry, Creative, iRiver

constinit const TOptionSet kOptionsArchosAv500 = {
    .VideoCodec = {{"MPEG4"}, "MPEG4"},
    .VideoSize = {kArchosSizes, "480 x 272"},
    .VideoBitrate = {kGeneralVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mp3", "mp2"}, "mp3"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsArchosAv700 = {
    .VideoCodec = {{"MPEG4"}, "MPEG4"},
    .VideoSize = {kArchosSizes, "720 x 480"},
    .VideoBitrate = {{"1000 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps"}, "2000 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mp3", "mp2"}, "mp3"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsBlackBerryMp4 = {
    .VideoCodec = {{"MPEG4"}, "MPEG4"},
    .VideoSize = {{"176 x 144", "240 x 180", "320 x 240"}, "320 x 240"},
    .VideoBitrate = {kBlackBerryBitrates, "300 Kbps"},
    .VideoFramerate = {kBlackBerryFrameRates, "24 fps"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kBlackBerryAudioBitrates, "80 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsBlackBerryAvi = {
    .VideoCodec = {{"H263"}, "H263"},
    .VideoSize = {{"176 x 144"}, "176 x 144"},
    .VideoBitrate = {kBlackBerryBitrates, "300 Kbps"},
    .VideoFramerate = {kBlackBerryFrameRates, "24 fps"},
    .AudioCodec = {{"mp3", "pcm_s16le"}, "mp3"},
    .AudioBitrate = {kBlackBerryAudioBitrates, "80 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

// Uses the shared settings step, so "mpeg4aac" here really encodes AAC; the
// 3GP extension still forces one channel.
constinit const TOptionSet kOptionsBlackBerry3gp = {
    .VideoCodec = {{"MPEG4", "H263"}, "MPEG4"},
    .VideoSize = {{"176 x 144", "240 x 180", "320 x 240"}, "176 x 144"},
    .VideoBitrate = {{"48 Kbps", "64 Kbps", "96 Kbps", "120 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"},
                     "120 Kbps"},
    .VideoFramerate = {{"Auto", "11 fps", "15 fps", "20 fps", "24 fps", "25 fps"}, "15 fps"},
    .AudioCodec = {{"amr_nb", "mpeg4aac"}, "amr_nb"},
    .AudioBitrate = {kAmrBitrates, "4750 bps"},
    .SamplingRate = {{"8000  Hz", "16000 Hz"}, "8000  Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsZenVision = {
    .VideoCodec = {{"MPEG4"}, "MPEG4"},
    .VideoSize = {kArchosSizes, "640 x 480"},
    .VideoBitrate = {kGeneralVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mp3", "mp2"}, "mp3"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

}  // namespace korvane
