// SPDX-License-Identifier: GPL-3.0-or-later
#include "GeneralOptionSets.h"

#include "ItemLists.h"

namespace korvane {

namespace {

// The AVI profiles offer the general video bit rates without 1600 and 2000 Kbps.
constexpr TItemList kAviVideoBitrates = {
    "192 Kbps", "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps",  "640 Kbps",
    "768 Kbps", "1000 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps",
};

constexpr TItemList kAviAudioCodecs = {"pcm_s16le", "mp3", "mp2", "ac3"};

}  // namespace

// ---------------------------------------------------------------------------
// Video containers

// 3GP offers "mpeg4aac", but its settings step always encodes AMR, which is
// why the bit rates are AMR's. The sampling rates read "bps"; only the number
// in front is used.
constinit const TOptionSet kOptions3gp = {
    .VideoCodec = {{"MPEG4", "H263", "H264"}, "MPEG4"},
    .VideoSize = {{"128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 144 (QCIF)", "208 x 176", "220 x 176",
                   "320 x 240 (VGA)", "352 x 288 (CIF)"},
                  "176 x 144 (QCIF)"},
    .VideoBitrate = {{"48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"}, "128 Kbps"},
    .VideoFramerate = {{"Auto", "11 fps", "14.985 fps", "15 fps"}, "Auto"},
    .AudioCodec = {{"amr_nb", "mpeg4aac"}, "amr_nb"},
    .AudioBitrate = {kAmrBitrates, "7400 bps"},
    .SamplingRate = {{"8000  bps", "16000 bps"}, "8000  bps"},
    .AudioChannels = "Mono",
    .AspectRatio = kUnchanged,
};

// ASF output is written without video (see the settings step), so the video
// bit rate has no effect; the lowest item is selected.
constinit const TOptionSet kOptionsAsf = {
    .VideoCodec = {{"MSMPEG4"}, "MSMPEG4"},
    .VideoSize = {kGeneralSizes, "Original Video Size"},
    .VideoBitrate = {{"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"}, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mp3"}, "mp3"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsAvi = {
    .VideoCodec = {{"MPEG4", "H264"}, "MPEG4"},
    .VideoSize = {kGeneralSizes, "Original Video Size"},
    .VideoBitrate = {kAviVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {kAviAudioCodecs, "pcm_s16le"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsAviDivx = {
    .VideoCodec = {{"MPEG4"}, "MPEG4"},
    .VideoSize = {kGeneralSizes, "Original Video Size"},
    .VideoBitrate = {kAviVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mp3"}, "mp3"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsAviUncompressed = {
    .VideoCodec = {{"RAWVIDEO"}, "RAWVIDEO"},
    .VideoSize = {kGeneralSizes, "Original Video Size"},
    .VideoBitrate = {kAviVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {kAviAudioCodecs, "pcm_s16le"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsAviXvid = {
    .VideoCodec = {{"XVID"}, "XVID"},
    .VideoSize = {kGeneralSizes, "Original Video Size"},
    .VideoBitrate = {kAviVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mp3"}, "mp3"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

// The default frame rate is NTSC's 29.97, so the default size must be an NTSC
// size that DVD-Video allows: 720x480, 704x480, 352x480 or 352x240. Of the
// sizes offered only "352 x 240" is one of them (640x480 and 724x480 are not
// DVD sizes, 480x480 is Super Video CD's), so it is the default; with MPEG-2
// at 6000 Kbps and AC-3 at 48 kHz that makes a stream DVD players accept.
constinit const TOptionSet kOptionsDvd = {
    .VideoCodec = {{"MPEG2VIDEO"}, "MPEG2VIDEO"},
    .VideoSize = {kDiscSizes + TItemList{"724 x 480", "724 x 576"}, "352 x 240"},
    .VideoBitrate = {{"6000 Kbps"}, "6000 Kbps"},
    .VideoFramerate = {kDiscFrameRates, "29.97 fps [NTSC]"},
    .AudioCodec = {{"ac3", "mp2"}, "ac3"},
    .AudioBitrate = {kStandardAudioBitrates, "224 Kbps"},
    .SamplingRate = {{"44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"}, "48000 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsFlash = {
    .VideoCodec = {{"FLV"}, "FLV"},
    .VideoSize = {kGeneralSizes, "Original Video Size"},
    .VideoBitrate = {kGeneralVideoBitrates, "200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "15.0 fps"},
    .AudioCodec = {{"mp3"}, "mp3"},
    .AudioBitrate = {kStandardAudioBitrates, "64 Kbps"},
    .SamplingRate = {{"11025 Hz", "22050 Hz", "44100 Hz"}, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsMov = {
    .VideoCodec = {{"MPEG4"}, "MPEG4"},
    .VideoSize = {kGeneralSizes, "Original Video Size"},
    .VideoBitrate = {kGeneralVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsMp4 = {
    .VideoCodec = {{"MPEG4", "H264", "XVid"}, "MPEG4"},
    .VideoSize = {kGeneralSizes, "Original Video Size"},
    .VideoBitrate = {kGeneralVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsMpeg1 = {
    .VideoCodec = {{"MPEG1VIDEO"}, "MPEG1VIDEO"},
    .VideoSize = {kGeneralSizes, "320 x 240 (VGA)"},
    .VideoBitrate = {kGeneralVideoBitrates, "1600 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "25.0 fps"},
    .AudioCodec = {{"mp2"}, "mp2"},
    .AudioBitrate = {kStandardAudioBitrates, "192 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsMpeg2 = {
    .VideoCodec = {{"MPEG2VIDEO"}, "MPEG2VIDEO"},
    .VideoSize = {kGeneralSizes, "320 x 240 (VGA)"},
    .VideoBitrate = {kGeneralVideoBitrates, "2000 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "25.0 fps"},
    .AudioCodec = {{"mp2", "ac3"}, "mp2"},
    .AudioBitrate = {kStandardAudioBitrates, "192 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

// The first three bit rates have two blanks before the unit.
constinit const TOptionSet kOptionsRm = {
    .VideoCodec = {{"RV10", "RV20"}, "RV10"},
    .VideoSize = {kGeneralSizes, "320 x 240 (VGA)"},
    .VideoBitrate = {{"384  Kbps", "400  Kbps", "600  Kbps", "1200 Kbps", "1800 Kbps", "2200 Kbps",
                      "2600 Kbps", "3000 Kbps"},
                     "384  Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"ac3"}, "ac3"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsSuperVideoCd = {
    .VideoCodec = {{"MPEG2VIDEO"}, "MPEG2VIDEO"},
    .VideoSize = {kDiscSizes, "480 x 480"},
    .VideoBitrate = {{"2040 Kbps"}, "2040 Kbps"},
    .VideoFramerate = {kDiscFrameRates, "29.97 fps [NTSC]"},
    .AudioCodec = {{"mp2"}, "mp2"},
    .AudioBitrate = {kStandardAudioBitrates, "224 Kbps"},
    .SamplingRate = {{"44100 Hz"}, "44100 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsVideoCd = {
    .VideoCodec = {{"MPEG1VIDEO"}, "MPEG1VIDEO"},
    .VideoSize = {kDiscSizes, "352 x 240"},
    .VideoBitrate = {{"1150 Kbps"}, "1150 Kbps"},
    .VideoFramerate = {kDiscFrameRates, "29.97 fps [NTSC]"},
    .AudioCodec = {{"mp2"}, "mp2"},
    .AudioBitrate = {kStandardAudioBitrates, "224 Kbps"},
    .SamplingRate = {{"44100 Hz"}, "44100 Hz"},
    .AudioChannels = kUnchanged,
    .AspectRatio = kUnchanged,
};

constinit const TOptionSet kOptionsWmv = {
    .VideoCodec = {{"WMV2"}, "WMV2"},
    .VideoSize = {kGeneralSizes, "320 x 240 (VGA)"},
    .VideoBitrate = {kGeneralVideoBitrates, "1200 Kbps"},
    .VideoFramerate = {kGeneralFrameRates, "Auto"},
    .AudioCodec = {{"wmav2"}, "wmav2"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

// ---------------------------------------------------------------------------
// Audio-only formats

constinit const TOptionSet kOptionsAac = {
    .VideoCodec = kEmptied,
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{"aac"}, "aac"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsAu = {
    .VideoCodec = kEmptied,
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{"pcm_s16be"}, "pcm_s16be"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsM4a = {
    .VideoCodec = kEmptied,
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{"mpeg4aac"}, "mpeg4aac"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsMp2 = {
    .VideoCodec = kEmptied,
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{"mp2"}, "mp2"},
    .AudioBitrate = {kStandardAudioBitrates, "224 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsMp3 = {
    .VideoCodec = kEmptied,
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{"mp3"}, "mp3"},
    .AudioBitrate = {kStandardAudioBitrates, "192 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsOgg = {
    .VideoCodec = kEmptied,
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{"vorbis"}, "vorbis"},
    .AudioBitrate = {kStandardAudioBitrates, "160 Kbps"},
    .SamplingRate = {kStandardSamplingRates, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsRa = {
    .VideoCodec = kEmptied,
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{"ac3"}, "ac3"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsWav = {
    .VideoCodec = kEmptied,
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{"pcm_s16le"}, "pcm_s16le"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "44100 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

constinit const TOptionSet kOptionsWma = {
    .VideoCodec = kEmptied,
    .VideoSize = kEmptied,
    .VideoBitrate = kEmptied,
    .VideoFramerate = kEmptied,
    .AudioCodec = {{"wmav2"}, "wmav2"},
    .AudioBitrate = {kStandardAudioBitrates, "128 Kbps"},
    .SamplingRate = {kStandardSamplingRatesTwoBlank, "48000 Hz"},
    .AudioChannels = "Stereo",
    .AspectRatio = "Original",
};

}  // namespace korvane
