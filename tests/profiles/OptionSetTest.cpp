// SPDX-License-Identifier: GPL-3.0-or-later
// What each profile puts into the option combos, and what carries over from
// one profile to the next.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ProfileCatalogue.h"
#include "ProfileOptions.h"

namespace korvane::test {
namespace {

using Items = std::vector<std::string>;

// The lists several profiles share, written out here independently of the
// code's copies.
const Items GeneralSizes = {"Original Video Size", "128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 120",
                            "176 x 144 (QCIF)",    "192 x 144",        "208 x 176",        "220 x 176",
                            "240 x 180",           "320 x 200",        "320 x 240 (VGA)",  "352 x 240",
                            "352 x 288 (CIF)",     "480 x 272",        "480 x 360",        "480 x 480",
                            "480 x 576",           "624 x 352",        "640 x 352",        "640 x 480",
                            "704 x 576 (4CIF)",    "720 x 480",        "720 x 576"};
const Items GeneralVideoRates = {"192 Kbps",  "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps",
                                 "640 Kbps",  "768 Kbps",  "1000 Kbps", "1200 Kbps", "1500 Kbps",
                                 "1600 Kbps", "2000 Kbps", "2500 Kbps"};
const Items AviVideoRates = {"192 Kbps", "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps", "640 Kbps",
                             "768 Kbps", "1000 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps"};
const Items GeneralFps = {"Auto",     "14.985 fps", "15.0 fps", "23.975 fps",
                          "25.0 fps", "29.97 fps",  "30.0 fps"};
const Items AudioRates = {"32 Kbps",  "40 Kbps",  "48 Kbps",  "64 Kbps",  "80 Kbps",  "96 Kbps", "112 Kbps",
                          "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"};
const Items Sampling = {"8000 Hz",  "16000 Hz", "22050 Hz", "32000 Hz",
                        "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
const Items Sampling2 = {"8000  Hz", "16000 Hz", "22050 Hz", "32000 Hz",
                         "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
const Items AmrRates = {"4750 bps", "5150 bps", "5900 bps",  "6700 bps",
                        "7400 bps", "7950 bps", "10200 bps", "12200 bps"};
const Items DeviceRates = {"512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps"};
const Items DiscSizes = {"128 x 96 (SQCIF)", "176 x 144 (QCIF)", "352 x 240", "352 x 288 (CIF)",
                         "480 x 272",        "480 x 480",        "640 x 480", "704 x 576 (4CIF)"};
const Items DiscFps = {"23.976 fps [NTSC]", "24 fps", "25 fps [PAL]", "29.97 fps [NTSC]",
                       "30.0 fps",          "50 fps", "59.94 fps"};
const Items AppleTvRates = {"512 Kbps",  "800 Kbps",  "1200 Kbps", "1500 Kbps",
                            "2000 Kbps", "2500 Kbps", "4000 Kbps", "7000 Kbps"};
const Items ZuneSizes = {"320 x 240 ", "640 x 480"};
const Items ZuneRates = {"256 Kbps", "512 Kbps", "768 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps"};
const Items Ps3Rates = {"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"};
const Items ArchosSizes = {"Auto", "160 x 120", "320 x 240", "480 x 272", "720 x 480", "640 x 480"};
const Items BlackBerryRates = {"80 Kbps", "120 Kbps", "200 Kbps", "256 Kbps", "300 Kbps", "512 Kbps"};
const Items BlackBerryFps = {"11 fps", "15 fps", "20 fps", "24 fps", "25 fps"};
const Items BlackBerryAudioRates = {"40 Kbps", "48 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps"};
const Items DeviceCodecs = {"MPEG4", "H264"};

// One combo's expected content; no items means emptied.
struct Combo {
  Items List;
  std::string Selected;
};
const Combo Emptied{};
// A selection-only combo the profile leaves alone.
const std::string Keep = "(unchanged)";

const Items StandardChannels = {"Stereo", "Mono"};
const Items ChannelsWithOriginal = {"Stereo", "Mono", "Original"};

struct Expectation {
  Combo VideoCodec, VideoSize, VideoBitrate, VideoFramerate, AudioCodec, AudioBitrate, SamplingRate;
  std::string Channels, Aspect;
  Items ChannelItems = StandardChannels;
};

// The modern formats' lists.
const Items ModernSizes = {"Original Video Size", "3840 x 2160 (2160p)", "1920 x 1080 (1080p)",
                           "1280 x 720 (720p)", "854 x 480 (480p)"};
const Items ModernVideoRates = {
    "Quality: High",    "Quality: Standard", "Quality: Small File", "1000 Kbps",        "2000 Kbps",
    "4000 Kbps",        "6000 Kbps",         "8000 Kbps",           "12000 Kbps",       "20000 Kbps",
    "File Size: 10 MB", "File Size: 25 MB",  "File Size: 50 MB",    "File Size: 100 MB"};
const Items ModernFps = {"Auto",   "23.976 fps", "24 fps",    "25 fps", "29.97 fps",
                         "30 fps", "50 fps",     "59.94 fps", "60 fps"};
const Items ModernAudioRates = {"64 Kbps",  "96 Kbps",  "128 Kbps", "160 Kbps",
                                "192 Kbps", "256 Kbps", "320 Kbps"};
const Items ModernSampling = {"Original", "44100 Hz", "48000 Hz"};
const Items OpusSampling = {"Original", "48000 Hz"};

Expectation Modern(const Items &Codecs, const std::string &Codec, const Items &AudioCodecs,
                   const std::string &AudioCodec, const std::string &AudioRate, const Items &Rates,
                   const std::string &Channels) {
  return {{Codecs, Codec},
          {ModernSizes, "Original Video Size"},
          {ModernVideoRates, "Quality: Standard"},
          {ModernFps, "Auto"},
          {AudioCodecs, AudioCodec},
          {ModernAudioRates, AudioRate},
          {Rates, "Original"},
          Channels,
          "Original",
          ChannelsWithOriginal};
}

Expectation Mp3Like(const std::string &Codec, const std::string &Rate, const Items &Rates,
                    const std::string &Hz) {
  return {Emptied,     Emptied,  Emptied,   Emptied, {{Codec}, Codec}, {AudioRates, Rate},
          {Rates, Hz}, "Stereo", "Original"};
}

std::map<std::string, Expectation> ExpectedOptionSets() {
  const Expectation Mobile3gp = {
      {{"MPEG4", "H263", "H264"}, "MPEG4"},
      {{"128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 144 (QCIF)", "208 x 176", "220 x 176",
        "320 x 240 (VGA)", "352 x 288 (CIF)"},
       "176 x 144 (QCIF)"},
      {{"48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"}, "128 Kbps"},
      {{"Auto", "11 fps", "14.985 fps", "15 fps"}, "Auto"},
      {{"amr_nb", "mpeg4aac"}, "amr_nb"},
      {AmrRates, "7400 bps"},
      {{"8000  bps", "16000 bps"}, "8000  bps"},
      "Mono",
      Keep};
  const Combo AviAudio = {{"pcm_s16le", "mp3", "mp2", "ac3"}, "pcm_s16le"};
  auto Avi = [&](const Combo &Codec, const Combo &Audio) {
    return Expectation{Codec,
                       {GeneralSizes, "Original Video Size"},
                       {AviVideoRates, "1200 Kbps"},
                       {GeneralFps, "Auto"},
                       Audio,
                       {AudioRates, "128 Kbps"},
                       {Sampling, "48000 Hz"},
                       "Stereo",
                       "Original"};
  };
  const Expectation Flash = {{{"FLV"}, "FLV"},
                             {GeneralSizes, "Original Video Size"},
                             {GeneralVideoRates, "200 Kbps"},
                             {GeneralFps, "15.0 fps"},
                             {{"mp3"}, "mp3"},
                             {AudioRates, "64 Kbps"},
                             {{"11025 Hz", "22050 Hz", "44100 Hz"}, "44100 Hz"},
                             "Stereo",
                             "Original"};
  auto Mpeg4Movie = [&](const Items &Codecs) {
    return Expectation{{Codecs, "MPEG4"},
                       {GeneralSizes, "Original Video Size"},
                       {GeneralVideoRates, "1200 Kbps"},
                       {GeneralFps, "Auto"},
                       {{"mpeg4aac"}, "mpeg4aac"},
                       {AudioRates, "128 Kbps"},
                       {Sampling, "44100 Hz"},
                       "Stereo",
                       "Original"};
  };
  auto MpegMovie = [&](const std::string &Codec, const std::string &Rate, const Items &AudioCodecs) {
    return Expectation{{{Codec}, Codec},
                       {GeneralSizes, "320 x 240 (VGA)"},
                       {GeneralVideoRates, Rate},
                       {GeneralFps, "25.0 fps"},
                       {AudioCodecs, "mp2"},
                       {AudioRates, "192 Kbps"},
                       {Sampling, "44100 Hz"},
                       "Stereo",
                       "Original"};
  };
  auto Disc = [&](const std::string &Codec, const std::string &Size, const std::string &Rate) {
    return Expectation{{{Codec}, Codec},
                       {DiscSizes, Size},
                       {{Rate}, Rate},
                       {DiscFps, "29.97 fps [NTSC]"},
                       {{"mp2"}, "mp2"},
                       {AudioRates, "224 Kbps"},
                       {{"44100 Hz"}, "44100 Hz"},
                       Keep,
                       Keep};
  };
  // The iPod, iPod Touch and iPhone shape: one size item, the device rates.
  auto Pod = [&](const std::string &Size, const std::string &Rate, const std::string &AudioRate,
                 const std::string &Channels, const std::string &Aspect) {
    return Expectation{{DeviceCodecs, "MPEG4"},
                       {{Size}, Size},
                       {DeviceRates, Rate},
                       {GeneralFps, "Auto"},
                       {{"mpeg4aac"}, "mpeg4aac"},
                       {AudioRates, AudioRate},
                       {Sampling, "44100 Hz"},
                       Channels,
                       Aspect};
  };
  auto AppleTvH264 = [&](const std::string &Size, const std::string &Rate, const std::string &Fps) {
    return Expectation{{{"H264"}, "H264"},
                       {{Size}, Size},
                       {AppleTvRates, Rate},
                       {GeneralFps, Fps},
                       {{"mpeg4aac"}, "mpeg4aac"},
                       {AudioRates, "64 Kbps"},
                       {Sampling, "48000 Hz"},
                       "Stereo",
                       "Original"};
  };
  auto Ps3 = [&](const Items &Sizes, const std::string &Size, const std::string &Rate) {
    return Expectation{{{"H264"}, "H264"},
                       {Sizes, Size},
                       {Ps3Rates, Rate},
                       {{"29.97 fps"}, "29.97 fps"},
                       {{"mpeg4aac"}, "mpeg4aac"},
                       {AudioRates, "96 Kbps"},
                       {Sampling2, "44100 Hz"},
                       "Stereo",
                       "Original"};
  };
  auto Archos = [&](const std::string &Size, const Items &Rates, const std::string &Rate) {
    return Expectation{{{"MPEG4"}, "MPEG4"},
                       {ArchosSizes, Size},
                       {Rates, Rate},
                       {GeneralFps, "Auto"},
                       {{"mp3", "mp2"}, "mp3"},
                       {AudioRates, "128 Kbps"},
                       {Sampling, "48000 Hz"},
                       Keep,
                       Keep};
  };
  const Items BlackBerrySizes = {"176 x 144", "240 x 180", "320 x 240"};

  return {
      {"3GP - Mobile Video Format (*.3gp)", Mobile3gp},
      {"3G2 - Mobile Video Format (*.3g2)", Mobile3gp},
      {"ASF - Advance Streaming Format (*.asf)",
       {{{"MSMPEG4"}, "MSMPEG4"},
        {GeneralSizes, "Original Video Size"},
        {{"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"}, "1200 Kbps"},
        {GeneralFps, "Auto"},
        {{"mp3"}, "mp3"},
        {AudioRates, "128 Kbps"},
        {Sampling, "48000 Hz"},
        "Stereo",
        "Original"}},
      {"AVI - Audio Video Interleave (*.avi)", Avi({{"MPEG4", "H264"}, "MPEG4"}, AviAudio)},
      {"AVI - DivX Video (*.avi)", Avi({{"MPEG4"}, "MPEG4"}, {{"mp3"}, "mp3"})},
      {"AVI - Uncompress (*.avi)", Avi({{"RAWVIDEO"}, "RAWVIDEO"}, AviAudio)},
      {"AVI - XviD Video (*.avi)", Avi({{"XVID"}, "XVID"}, {{"mp3"}, "mp3"})},
      {"DVD - VOB (*.vob)",
       {{{"MPEG2VIDEO"}, "MPEG2VIDEO"},
        {{"128 x 96 (SQCIF)", "176 x 144 (QCIF)", "352 x 240", "352 x 288 (CIF)", "480 x 272", "480 x 480",
          "640 x 480", "704 x 576 (4CIF)", "724 x 480", "724 x 576"},
         "352 x 240"},
        {{"6000 Kbps"}, "6000 Kbps"},
        {DiscFps, "29.97 fps [NTSC]"},
        {{"ac3", "mp2"}, "ac3"},
        {AudioRates, "224 Kbps"},
        {{"44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"}, "48000 Hz"},
        Keep,
        Keep}},
      {"FLV - Flash Video (*.flv)", Flash},
      {"MOV - QuickTime Video (*.mov)", Mpeg4Movie({"MPEG4"})},
      {"MP4 - MPEG4 Video (*.mp4)", Mpeg4Movie({"MPEG4", "H264", "XVid"})},
      {"MPEG-1 Movie (*.mpg)", MpegMovie("MPEG1VIDEO", "1600 Kbps", {"mp2"})},
      {"MPEG-2 Movie (*.mpg)", MpegMovie("MPEG2VIDEO", "2000 Kbps", {"mp2", "ac3"})},
      {"RM - Real Video (*.rm)",
       {{{"RV10", "RV20"}, "RV10"},
        {GeneralSizes, "320 x 240 (VGA)"},
        {{"384  Kbps", "400  Kbps", "600  Kbps", "1200 Kbps", "1800 Kbps", "2200 Kbps", "2600 Kbps",
          "3000 Kbps"},
         "384  Kbps"},
        {GeneralFps, "Auto"},
        {{"ac3"}, "ac3"},
        {AudioRates, "128 Kbps"},
        {Sampling2, "48000 Hz"},
        "Stereo",
        "Original"}},
      {"SWF - Flash Swf (*.swf)", Flash},
      {"Super Video CD (*.mpg)", Disc("MPEG2VIDEO", "480 x 480", "2040 Kbps")},
      {"Video CD (*.mpg)", Disc("MPEG1VIDEO", "352 x 240", "1150 Kbps")},
      {"WMV - Windows Media Video (*.wmv)",
       {{{"WMV2"}, "WMV2"},
        {GeneralSizes, "320 x 240 (VGA)"},
        {GeneralVideoRates, "1200 Kbps"},
        {GeneralFps, "Auto"},
        {{"wmav2"}, "wmav2"},
        {AudioRates, "128 Kbps"},
        {Sampling, "48000 Hz"},
        "Stereo",
        "Original"}},
      {"AAC - Advance Audio Coding (*.aac)", Mp3Like("aac", "128 Kbps", Sampling2, "48000 Hz")},
      {"AU - SUN Audio (*.au)", Mp3Like("pcm_s16be", "128 Kbps", Sampling, "48000 Hz")},
      {"M4A - Mpeg4 Audio File (*.m4a)", Mp3Like("mpeg4aac", "128 Kbps", Sampling, "48000 Hz")},
      {"MP2 - Mpeg Layer2 Audio (*.mp2)", Mp3Like("mp2", "224 Kbps", Sampling, "48000 Hz")},
      {"MP3 - Mpeg Layer3 Audio (*.mp3)", Mp3Like("mp3", "192 Kbps", Sampling, "48000 Hz")},
      {"OGG - Ogg Vorbis Audio (*.ogg)", Mp3Like("vorbis", "160 Kbps", Sampling, "48000 Hz")},
      {"RA - Real Audio (*.ra)", Mp3Like("ac3", "128 Kbps", Sampling2, "48000 Hz")},
      {"WAV - Waveform Audio (*.wav)", Mp3Like("pcm_s16le", "128 Kbps", Sampling2, "44100 Hz")},
      {"WMA - Windows Media Audio (*.wma)", Mp3Like("wmav2", "128 Kbps", Sampling2, "48000 Hz")},
      {"iPod (*.mp4)", Pod("320 x 240", "512 Kbps", "64 Kbps", Keep, Keep)},
      {"iPod Extra (640 x 480) (*.mp4)", Pod("640 x 480", "1500 Kbps", "64 Kbps", Keep, Keep)},
      {"iPod Video For TV (*.mp4)", Pod("640 x 480", "1500 Kbps", "64 Kbps", Keep, Keep)},
      {"Apple TV (*.mp4)",
       {{{"MPEG4"}, "MPEG4"},
        {{"640 x 480"}, "640 x 480"},
        {DeviceRates, "1500 Kbps"},
        {GeneralFps, "Auto"},
        {{"mpeg4aac"}, "mpeg4aac"},
        {AudioRates, "128 Kbps"},
        {Sampling, "44100 Hz"},
        "Stereo",
        "Original"}},
      {"Apple TV H264 (320 x 240) (*.mp4)", AppleTvH264("320 x 240", "1200 Kbps", "29.97 fps")},
      {"Apple TV H264 (640 x 480) (*.mp4)", AppleTvH264("640 x 480", "2000 Kbps", "29.97 fps")},
      {"Apple TV H264 (1280 x 720) (*.mp4)", AppleTvH264("1280 x 720", "2500 Kbps", "23.975 fps")},
      {"iPod Touch (*.mp4)", Pod("480 x 320", "1200 Kbps", "80 Kbps", Keep, Keep)},
      {"iPod Touch Extra (640 x 480) (*.mp4)", Pod("640 x 480", "1500 Kbps", "80 Kbps", Keep, Keep)},
      {"iPod Touch Wide Screen (*.mp4)", Pod("720 x 406", "1500 Kbps", "128 Kbps", "Stereo", "Original")},
      {"iPhone (*.mp4)", Pod("480 x 320", "1200 Kbps", "80 Kbps", "Stereo", "Original")},
      {"iPhone Extra (640 x 480) (*.mp4)", Pod("640 x 480", "1500 Kbps", "128 Kbps", "Stereo", "Original")},
      {"iPhone Wide Screen (*.mp4)", Pod("720 x 480", "1500 Kbps", "128 Kbps", "Stereo", "Original")},
      {"Zune Mpeg4 Video (*.mp4)",
       {{DeviceCodecs, "MPEG4"},
        {ZuneSizes, "320 x 240 "},
        {ZuneRates, "1500 Kbps"},
        {{"29.97 fps"}, "29.97 fps"},
        {{"mpeg4aac"}, "mpeg4aac"},
        {AudioRates, "128 Kbps"},
        {Sampling2, "44100 Hz"},
        "Stereo",
        "Original"}},
      {"Zune WMV Windows Media Video (*.wmv)",
       {{{"WMV2"}, "WMV2"},
        {ZuneSizes, "320 x 240 "},
        {ZuneRates, "1200 Kbps"},
        {GeneralFps, "Auto"},
        {{"wmav2"}, "wmav2"},
        {AudioRates, "128 Kbps"},
        {Sampling2, "48000 Hz"},
        "Stereo",
        "Original"}},
      {"PSP Video (*.mp4)",
       {{{"MPEG4", "H264", "XVID"}, "MPEG4"},
        {{"160 x 112", "320 x 240", "368 x 208", "480 x 272"}, "368 x 208"},
        {{"768 Kbps"}, "768 Kbps"},
        {{"14.985 fps", "29.97 fps"}, "29.97 fps"},
        {{"mpeg4aac"}, "mpeg4aac"},
        {{"32 Kbps", "48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "160 Kbps"}, "64 Kbps"},
        {{"24000 Hz"}, "24000 Hz"},
        "Stereo",
        "Original"}},
      {"PS3 Video (*.mp4)", Ps3({"640 x 480", "720 x 480", "720 x 576"}, "720 x 480", "1200 Kbps")},
      {"PS3 Video(480P) (*.mp4)", Ps3({"640 x 480", "720 x 480", "720 x 576"}, "720 x 480", "1200 Kbps")},
      {"PS3 Video(720P) (*.mp4)", Ps3({"1280 x 720"}, "1280 x 720", "2000 Kbps")},
      {"PS3 Video(1080P) (*.mp4)", Ps3({"1920 x 1072"}, "1920 x 1072", "2000 Kbps")},
      {"Archos AV500/GMini402 (*.avi)", Archos("480 x 272", GeneralVideoRates, "1200 Kbps")},
      {"Archos AV700 (*.avi)",
       Archos("720 x 480", {"1000 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps"}, "2000 Kbps")},
      {"BlackBerry MPEG-4 Video (*.mp4)",
       {{{"MPEG4"}, "MPEG4"},
        {BlackBerrySizes, "320 x 240"},
        {BlackBerryRates, "300 Kbps"},
        {BlackBerryFps, "24 fps"},
        {{"mpeg4aac"}, "mpeg4aac"},
        {BlackBerryAudioRates, "80 Kbps"},
        {Sampling, "44100 Hz"},
        Keep,
        Keep}},
      {"BlackBerry AVI Video (*.avi)",
       {{{"H263"}, "H263"},
        {{"176 x 144"}, "176 x 144"},
        {BlackBerryRates, "300 Kbps"},
        {BlackBerryFps, "24 fps"},
        {{"mp3", "pcm_s16le"}, "mp3"},
        {BlackBerryAudioRates, "80 Kbps"},
        {Sampling, "44100 Hz"},
        Keep,
        Keep}},
      {"BlackBerry 3GP Video (*.3gp)",
       {{{"MPEG4", "H263"}, "MPEG4"},
        {BlackBerrySizes, "176 x 144"},
        {{"48 Kbps", "64 Kbps", "96 Kbps", "120 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"}, "120 Kbps"},
        {{"Auto", "11 fps", "15 fps", "20 fps", "24 fps", "25 fps"}, "15 fps"},
        {{"amr_nb", "mpeg4aac"}, "amr_nb"},
        {AmrRates, "4750 bps"},
        {{"8000  Hz", "16000 Hz"}, "8000  Hz"},
        Keep,
        Keep}},
      {"Creative Zen Vision (*.avi)", Archos("640 x 480", GeneralVideoRates, "1200 Kbps")},
      {"iRiver PMP100 (*.avi)", Archos("640 x 480", GeneralVideoRates, "1200 Kbps")},
      {"MP4 - H.264 Video, AAC Audio (*.mp4)",
       Modern({"H.264"}, "H.264", {"AAC"}, "AAC", "160 Kbps", ModernSampling, "Stereo")},
      {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)",
       Modern({"H.265/HEVC"}, "H.265/HEVC", {"AAC"}, "AAC", "160 Kbps", ModernSampling, "Stereo")},
      {"MKV - Matroska Video, every track (*.mkv)",
       Modern({"H.264", "H.265/HEVC", "VP9", "AV1"}, "H.264", {"AAC", "Opus", "FLAC"}, "AAC", "192 Kbps",
              ModernSampling, "Original")},
      {"MKV - Copy every stream, no re-encoding (*.mkv)",
       {{{"Copy"}, "Copy"},
        Emptied,
        Emptied,
        Emptied,
        {{"Copy"}, "Copy"},
        Emptied,
        Emptied,
        "Original",
        "Original",
        ChannelsWithOriginal}},
      {"WebM - VP9 Video, Opus Audio (*.webm)",
       Modern({"VP9"}, "VP9", {"Opus"}, "Opus", "128 Kbps", OpusSampling, "Stereo")},
      {"WebM - AV1 Video, Opus Audio (*.webm)",
       Modern({"AV1"}, "AV1", {"Opus"}, "Opus", "128 Kbps", OpusSampling, "Stereo")},
      {"FLAC - Free Lossless Audio (*.flac)",
       {Emptied,
        Emptied,
        Emptied,
        Emptied,
        {{"FLAC"}, "FLAC"},
        Emptied,
        {{"Original", "44100 Hz", "48000 Hz", "88200 Hz", "96000 Hz"}, "Original"},
        "Original",
        "Original",
        ChannelsWithOriginal}},
      {"OPUS - Opus Audio (*.opus)",
       {Emptied,
        Emptied,
        Emptied,
        Emptied,
        {{"Opus"}, "Opus"},
        {ModernAudioRates, "128 Kbps"},
        {OpusSampling, "Original"},
        "Original",
        "Original",
        ChannelsWithOriginal}},
  };
}

void ExpectCombo(const TOptionCombo &Actual, const Combo &Expected, const char *Name) {
  SCOPED_TRACE(Name);
  EXPECT_EQ(Actual.Items, Expected.List);
  EXPECT_EQ(Actual.Text(), Expected.Selected);
  if (Expected.List.empty()) {
    EXPECT_EQ(Actual.ItemIndex, -1);
  }
}

// With nothing selected beforehand, a combo the profile leaves alone still
// has nothing selected afterwards.
void ExpectSelection(const TOptionCombo &Actual, const std::string &Expected, const char *Name) {
  EXPECT_EQ(Actual.ItemIndex < 0 ? Keep : Actual.Text(), Expected) << Name;
}

// Applies every profile in catalogue order, each twice, on one form, so each
// result must be independent of the profile before it and of a repeat.
TEST(OptionSets, EveryProfileFillsTheCombosWithItsListsAndDefaults) {
  const auto Expected = ExpectedOptionSets();
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  size_t Profiles = 0;
  for (size_t Row = 0; Row < Form.ComboOutputFormat.Items.size(); ++Row) {
    const std::string Name = Form.ComboOutputFormat.Items[Row];
    if (IsSeparatorText(Name)) continue;
    ++Profiles;
    SCOPED_TRACE(Name);
    const auto Found = Expected.find(Name);
    ASSERT_NE(Found, Expected.end());
    const Expectation &E = Found->second;
    Form.ComboOutputFormat.ItemIndex = static_cast<int>(Row);
    for (int Pass = 0; Pass < 2; ++Pass) {
      Form.ComboAudioChannels.ItemIndex = -1;
      Form.ComboAspectRatio.ItemIndex = -1;
      ApplyProfileOptions(Form);
      ExpectCombo(Form.ComboVideoCodec, E.VideoCodec, "ComboVideoCodec");
      ExpectCombo(Form.ComboVideoSize, E.VideoSize, "ComboVideoSize");
      ExpectCombo(Form.ComboVideoBitrate, E.VideoBitrate, "ComboVideoBitrate");
      ExpectCombo(Form.ComboVideoFramerate, E.VideoFramerate, "ComboVideoFramerate");
      ExpectCombo(Form.ComboAudioCodec, E.AudioCodec, "ComboAudioCodec");
      ExpectCombo(Form.ComboAudioBitrate, E.AudioBitrate, "ComboAudioBitrate");
      ExpectCombo(Form.ComboSamplingRate, E.SamplingRate, "ComboSamplingRate");
      ExpectSelection(Form.ComboAudioChannels, E.Channels, "ComboAudioChannels");
      ExpectSelection(Form.ComboAspectRatio, E.Aspect, "ComboAspectRatio");
    }
    EXPECT_EQ(Form.ComboAudioChannels.Items, E.ChannelItems);
    EXPECT_EQ(Form.ComboAspectRatio.Items, (Items{"Original", "4:3 (Standard", "16:9 (Wide Screen)"}));
  }
  EXPECT_EQ(Profiles, 62u);
  EXPECT_EQ(Expected.size(), 62u);
}

// Selection-only combos a profile leaves alone keep the previous profile's
// or the user's choice.
TEST(OptionSets, UnchangedSelectionsCarryOverFromTheProfileBefore) {
  struct Step {
    std::string Profile;
    std::string Channels, Aspect;  // after applying Profile
  };
  const std::vector<std::vector<Step>> Sequences = {
      {{"3GP - Mobile Video Format (*.3gp)", "Mono", "Original"}, {"DVD - VOB (*.vob)", "Mono", "Original"}},
      {{"3GP - Mobile Video Format (*.3gp)", "Mono", "Original"},
       {"iPod (*.mp4)", "Mono", "Original"},
       {"iPod Touch Wide Screen (*.mp4)", "Stereo", "Original"}},
      {{"MP3 - Mpeg Layer3 Audio (*.mp3)", "Stereo", "Original"},
       {"BlackBerry 3GP Video (*.3gp)", "Stereo", "Original"},
       {"3G2 - Mobile Video Format (*.3g2)", "Mono", "Original"},
       {"Video CD (*.mpg)", "Mono", "Original"}},
      // "Original" is offered by the modern formats only: elsewhere it
      // becomes the first item.
      {{"OPUS - Opus Audio (*.opus)", "Original", "Original"},
       {"iPod (*.mp4)", "Stereo", "Original"},
       {"3GP - Mobile Video Format (*.3gp)", "Mono", "Original"},
       {"MKV - Copy every stream, no re-encoding (*.mkv)", "Original", "Original"},
       {"DVD - VOB (*.vob)", "Stereo", "Original"}},
  };
  for (const auto &Sequence : Sequences) {
    TProfileForm Form;
    FillOutputFormatList(Form.ComboOutputFormat);
    for (const Step &S : Sequence) {
      SCOPED_TRACE(S.Profile);
      Form.ComboOutputFormat.Select(S.Profile);
      ApplyProfileOptions(Form);
      EXPECT_EQ(Form.ComboAudioChannels.Text(), S.Channels);
      EXPECT_EQ(Form.ComboAspectRatio.Text(), S.Aspect);
    }
  }

  // A user's aspect choice survives a profile that leaves it alone, and is
  // reset by one that selects "Original".
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboAspectRatio.Select("16:9 (Wide Screen)");
  Form.ComboOutputFormat.Select("Archos AV700 (*.avi)");
  ApplyProfileOptions(Form);
  EXPECT_EQ(Form.ComboAspectRatio.Text(), "16:9 (Wide Screen)");
  Form.ComboOutputFormat.Select("WMV - Windows Media Video (*.wmv)");
  ApplyProfileOptions(Form);
  EXPECT_EQ(Form.ComboAspectRatio.Text(), "Original");
}

TEST(OptionSets, AudioOnlyProfilesEmptyTheVideoCombosAndVideoProfilesRefillThem) {
  TProfileForm Form;
  FillOutputFormatList(Form.ComboOutputFormat);
  Form.ComboOutputFormat.Select("MP3 - Mpeg Layer3 Audio (*.mp3)");
  ApplyProfileOptions(Form);
  Form.ComboOutputFormat.Select("WMV - Windows Media Video (*.wmv)");
  ApplyProfileOptions(Form);
  EXPECT_EQ(Form.ComboVideoCodec.Text(), "WMV2");
  EXPECT_EQ(Form.ComboVideoSize.Items.size(), 23u);
  EXPECT_EQ(Form.ComboVideoFramerate.Text(), "Auto");
  Form.ComboOutputFormat.Select("MP3 - Mpeg Layer3 Audio (*.mp3)");
  ApplyProfileOptions(Form);
  for (const TOptionCombo *Video :
       {&Form.ComboVideoCodec, &Form.ComboVideoSize, &Form.ComboVideoBitrate, &Form.ComboVideoFramerate}) {
    EXPECT_TRUE(Video->Items.empty());
    EXPECT_EQ(Video->Text(), "");
  }
}

}  // namespace
}  // namespace korvane::test
