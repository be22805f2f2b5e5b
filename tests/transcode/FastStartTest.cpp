// SPDX-License-Identifier: GPL-3.0-or-later
// MP4, MOV, 3GP and M4A outputs carry their index before the media data, so
// a player can start them before the whole file is read.
#include <fstream>

#include "ConversionFixture.h"

namespace korvane::test {
namespace {

using FastStart = TranscodeTest;

// The top-level boxes of an ISO media file, in file order.
std::vector<std::string> TopLevelBoxes(const std::string &File) {
  std::ifstream In(File, std::ios::binary);
  std::vector<std::string> Boxes;
  for (uint64_t At = 0;;) {
    unsigned char Header[16];
    In.seekg(static_cast<std::streamoff>(At));
    if (!In.read(reinterpret_cast<char *>(Header), 8)) break;
    uint64_t Size = 0;
    for (int I = 0; I < 4; ++I) Size = Size << 8 | Header[I];
    if (Size == 1 && In.read(reinterpret_cast<char *>(Header + 8), 8)) {
      Size = 0;
      for (int I = 8; I < 16; ++I) Size = Size << 8 | Header[I];
    }
    Boxes.emplace_back(reinterpret_cast<char *>(Header + 4), 4);
    if (Size < 8) break;  // to the end of the file, or not a box
    At += Size;
  }
  return Boxes;
}

TEST_F(FastStart, IndexComesBeforeTheMediaData) {
  for (const char *Extension : {"mp4", "mov", "3gp", "m4a"}) {
    SCOPED_TRACE(Extension);
    const std::string Target = Out(std::string("fast.") + Extension);
    const TConversion C = Convert(Clips.VideoAudio, Target, [&](TInputOptions &, TOutputOptions &O) {
      if (std::string(Extension) == "3gp") {
        O.FrameSize = "176x144";
        O.AudioCodec = "libamr_nb";
        O.AudioSampleRate = 8000;
        O.AudioChannels = 1;
      }
    });
    ASSERT_TRUE(C.Ran) << C.Error;
    const std::vector<std::string> Boxes = TopLevelBoxes(Target);
    const auto Index = std::find(Boxes.begin(), Boxes.end(), "moov");
    const auto Media = std::find(Boxes.begin(), Boxes.end(), "mdat");
    ASSERT_NE(Index, Boxes.end());
    ASSERT_NE(Media, Boxes.end());
    EXPECT_LT(Index, Media);
    EXPECT_EQ(DecodeErrors(Target), "");
  }
}

}  // namespace
}  // namespace korvane::test
