// SPDX-License-Identifier: GPL-3.0-or-later
#include "ColourClips.h"

#include <stdexcept>

#include "MediaFixtures.h"
#include "TestEnvironment.h"

namespace korvane::test {

namespace {

// Bump when the clips change, so that clips made by an earlier build are
// made anew.
constexpr const char *ClipsVersion = "colour-clips-1.ready";

std::string Quoted(const std::string &Path) { return "'" + Path + "'"; }

void Make(const std::string &Arguments) {
  if (!RunFFmpeg(Arguments)) throw std::runtime_error("ffmpeg could not make a clip: " + Arguments);
}

TColourClips ClipNames(const std::string &Folder) {
  TColourClips C;
  C.Sdr709 = Folder + "/sdr-709.mkv";
  C.Hdr10 = Folder + "/hdr10.mkv";
  C.Hlg = Folder + "/hlg.mkv";
  C.Sdr10 = Folder + "/sdr-10-bit.mkv";
  C.Untagged = Folder + "/untagged.mkv";
  C.FullRange = Folder + "/full-range.mkv";
  C.GarbageTags = Folder + "/garbage-tags.mkv";
  C.GarbageMastering = Folder + "/garbage-mastering.mkv";
  return C;
}

// Sdr709 made HDR by zscale: its white at 203 cd/m2, as BT.2408 places
// SDR's white in HDR; 10-bit H.265 with the x265 parameters Extra.
void MakeHdr(const TColourClips &C, const char *Transfer, const std::string &Extra, const std::string &File) {
  Make("-i " + Quoted(C.Sdr709) + " -vf \"zscale=tin=bt709:pin=bt709:min=bt709:rin=tv:t=" + Transfer +
       ":p=bt2020:m=bt2020nc:r=tv:npl=203,format=yuv420p10le\" -c:v libx265 -preset ultrafast -crf 10 "
       "-x265-params \"log-level=error" +
       Extra + "\" -color_primaries bt2020 -color_trc " + Transfer + " -colorspace bt2020nc " + Quoted(File));
}

void MakeClips(const TColourClips &C) {
  // Made at twice the size and scaled down: edges soft enough that four
  // conversions between 4:2:0 and RGB (to HDR and back) keep them.
  const std::string Source = "-f lavfi -i testsrc2=size=640x360:rate=25:duration=1,scale=320:180 ";
  const std::string Tags = " -color_primaries bt709 -color_trc bt709 -colorspace bt709 ";
  Make(Source + "-pix_fmt yuv420p -c:v libx264 -preset ultrafast -qp 0 -color_range tv" + Tags +
       Quoted(C.Sdr709));
  const std::string Mastering = "G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)";
  MakeHdr(C, "smpte2084", ":master-display=" + Mastering + "L(10000000,1):max-cll=203,64", C.Hdr10);
  MakeHdr(C, "arib-std-b67", "", C.Hlg);
  MakeHdr(C, "smpte2084", ":master-display=" + Mastering + "L(1,10000000):max-cll=0,0", C.GarbageMastering);
  Make("-i " + Quoted(C.Sdr709) +
       " -pix_fmt yuv420p10le -c:v libx265 -preset ultrafast -crf 10 "
       "-x265-params log-level=error" +
       Tags + Quoted(C.Sdr10));
  Make(Source + "-pix_fmt yuv420p -c:v libx264 -preset ultrafast -crf 10 " + Quoted(C.Untagged));
  Make(Source + "-pix_fmt yuvj420p -c:v libx264 -preset ultrafast -crf 10" + Tags + Quoted(C.FullRange));
  Make("-i " + Quoted(C.Sdr709) +
       " -c copy -bsf:v "
       "h264_metadata=colour_primaries=200:transfer_characteristics=16:matrix_coefficients=0 " +
       Quoted(C.GarbageTags));
}

TColourClips PrepareClips() {
  const std::string Folder = ExecutableDirectory() + "/test-media";
  const TColourClips Clips = ClipNames(Folder);
  MakeClipsOnce(Folder, "colour-lock", ClipsVersion, [&] { MakeClips(Clips); });
  return Clips;
}

}  // namespace

const TColourClips &ColourClips() {
  static const TColourClips Clips = PrepareClips();
  return Clips;
}

}  // namespace korvane::test
