// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileCatalogue.h"

#include "DeviceOptionSets.h"
#include "GeneralOptionSets.h"
#include "ModernOptionSets.h"

namespace korvane {

namespace {

using enum TSettingsVariant;

constexpr TCatalogueRow kSeparator = {kSeparatorRowText, "", None, nullptr};

// The display texts are matched exactly, so they keep their spelling
// ("Advance Streaming", "Uncompress", "PS3 Video(480P)" without a blank).
constexpr TCatalogueRow kCatalogue[] = {
    // Video containers
    {"3GP - Mobile Video Format (*.3gp)", "3GP", MobileAmr, &kOptions3gp},
    {"3G2 - Mobile Video Format (*.3g2)", "3G2", MobileAmr, &kOptions3gp},
    {"ASF - Advance Streaming Format (*.asf)", "ASF", Shared, &kOptionsAsf},
    {"AVI - Audio Video Interleave (*.avi)", "AVI", Shared, &kOptionsAvi},
    {"AVI - DivX Video (*.avi)", "AVI", Shared, &kOptionsAviDivx},
    {"AVI - Uncompress (*.avi)", "AVI", Shared, &kOptionsAviUncompressed},
    {"AVI - XviD Video (*.avi)", "AVI", Shared, &kOptionsAviXvid},
    {"DVD - VOB (*.vob)", "VOB", Shared, &kOptionsDvd},
    {"FLV - Flash Video (*.flv)", "FLV", Shared, &kOptionsFlash},
    {"MOV - QuickTime Video (*.mov)", "MOV", Shared, &kOptionsMov},
    {"MP4 - MPEG4 Video (*.mp4)", "MP4", Shared, &kOptionsMp4},
    {"MPEG-1 Movie (*.mpg)", "MPG", Shared, &kOptionsMpeg1},
    {"MPEG-2 Movie (*.mpg)", "MPG", Shared, &kOptionsMpeg2},
    {"RM - Real Video (*.rm)", "RM", Shared, &kOptionsRm},
    {"SWF - Flash Swf (*.swf)", "SWF", Shared, &kOptionsFlash},
    {"Super Video CD (*.mpg)", "MPG", Shared, &kOptionsSuperVideoCd},
    {"Video CD (*.mpg)", "MPG", Shared, &kOptionsVideoCd},
    {"WMV - Windows Media Video (*.wmv)", "WMV", Shared, &kOptionsWmv},
    kSeparator,
    // Audio-only formats
    {"AAC - Advance Audio Coding (*.aac)", "AAC", Shared, &kOptionsAac},
    {"AU - SUN Audio (*.au)", "AU", Shared, &kOptionsAu},
    {"M4A - Mpeg4 Audio File (*.m4a)", "M4A", Shared, &kOptionsM4a},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2", Shared, &kOptionsMp2},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", Shared, &kOptionsMp3},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG", Shared, &kOptionsOgg},
    {"RA - Real Audio (*.ra)", "RA", Shared, &kOptionsRa},
    {"WAV - Waveform Audio (*.wav)", "WAV", Shared, &kOptionsWav},
    {"WMA - Windows Media Audio (*.wma)", "WMA", Shared, &kOptionsWma},
    kSeparator,
    // iPod
    {"iPod (*.mp4)", "MP4", FixedAac, &kOptionsIpod},
    {"iPod Extra (640 x 480) (*.mp4)", "MP4", FixedAac, &kOptionsIpodExtra},
    {"iPod Video For TV (*.mp4)", "MP4", FixedAac, &kOptionsIpodExtra},
    kSeparator,
    // Apple TV
    {"Apple TV (*.mp4)", "MP4", FixedAac, &kOptionsAppleTv},
    {"Apple TV H264 (320 x 240) (*.mp4)", "MP4", FixedAac, &kOptionsAppleTvH264Small},
    {"Apple TV H264 (640 x 480) (*.mp4)", "MP4", FixedAac, &kOptionsAppleTvH264Medium},
    {"Apple TV H264 (1280 x 720) (*.mp4)", "MP4", FixedAac, &kOptionsAppleTvH264Large},
    kSeparator,
    // iPod Touch
    {"iPod Touch (*.mp4)", "MP4", FixedAac, &kOptionsIpodTouch},
    {"iPod Touch Extra (640 x 480) (*.mp4)", "MP4", FixedAac, &kOptionsIpodTouchExtra},
    {"iPod Touch Wide Screen (*.mp4)", "MP4", FixedAac, &kOptionsIpodTouchWide},
    kSeparator,
    // iPhone
    {"iPhone (*.mp4)", "MP4", Shared, &kOptionsIphone},
    {"iPhone Extra (640 x 480) (*.mp4)", "MP4", Shared, &kOptionsIphoneExtra},
    {"iPhone Wide Screen (*.mp4)", "MP4", Shared, &kOptionsIphoneWide},
    kSeparator,
    // Zune
    {"Zune Mpeg4 Video (*.mp4)", "MP4", Shared, &kOptionsZuneMpeg4},
    {"Zune WMV Windows Media Video (*.wmv)", "WMV", Shared, &kOptionsZuneWmv},
    kSeparator,
    // PlayStation
    {"PSP Video (*.mp4)", "MP4", Shared, &kOptionsPsp},
    {"PS3 Video (*.mp4)", "MP4", Shared, &kOptionsPs3},
    {"PS3 Video(480P) (*.mp4)", "MP4", Shared, &kOptionsPs3},
    {"PS3 Video(720P) (*.mp4)", "MP4", Shared, &kOptionsPs3Hd720},
    {"PS3 Video(1080P) (*.mp4)", "MP4", Shared, &kOptionsPs3Hd1080},
    kSeparator,
    // Other players and phones
    {"Archos AV500/GMini402 (*.avi)", "AVI", Shared, &kOptionsArchosAv500},
    {"Archos AV700 (*.avi)", "AVI", Shared, &kOptionsArchosAv700},
    {"BlackBerry MPEG-4 Video (*.mp4)", "MP4", Shared, &kOptionsBlackBerryMp4},
    {"BlackBerry AVI Video (*.avi)", "AVI", Shared, &kOptionsBlackBerryAvi},
    {"BlackBerry 3GP Video (*.3gp)", "3GP", Shared, &kOptionsBlackBerry3gp},
    {"Creative Zen Vision (*.avi)", "AVI", Shared, &kOptionsZenVision},
    {"iRiver PMP100 (*.avi)", "AVI", Shared, &kOptionsZenVision},
    {kSeparatorRowText, "", None, nullptr, "Formats for today's players"},
    // Modern formats, at a chosen quality
    {"MP4 - H.264 Video, AAC Audio (*.mp4)", "MP4", Quality, &kOptionsMp4H264},
    {"MP4 - H.265/HEVC Video, AAC Audio (*.mp4)", "MP4", Quality, &kOptionsMp4Hevc},
    {"MKV - Matroska Video, every track (*.mkv)", "MKV", EveryTrack, &kOptionsMkvEveryTrack},
    {"MKV - Copy every stream, no re-encoding (*.mkv)", "MKV", CopyAll, &kOptionsMkvCopy},
    {"WebM - VP9 Video, Opus Audio (*.webm)", "WEBM", Quality, &kOptionsWebmVp9},
    {"WebM - AV1 Video, Opus Audio (*.webm)", "WEBM", Quality, &kOptionsWebmAv1},
    {"FLAC - Free Lossless Audio (*.flac)", "FLAC", Quality, &kOptionsFlac},
    {"OPUS - Opus Audio (*.opus)", "OPUS", Quality, &kOptionsOpus},
};

// What marks a separator row in a selected text.
constexpr std::string_view kSeparatorMarker = "              ----";

}  // namespace

std::span<const TCatalogueRow> OutputProfileCatalogue() { return kCatalogue; }

const TCatalogueRow *FindProfile(std::string_view Text) {
  for (const TCatalogueRow &Row : kCatalogue)
    if (!Row.IsSeparator() && Row.DisplayText == Text) return &Row;
  return nullptr;
}

bool IsSeparatorText(std::string_view Text) { return Text.find(kSeparatorMarker) != std::string_view::npos; }

}  // namespace korvane
