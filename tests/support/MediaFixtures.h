// SPDX-License-Identifier: GPL-3.0-or-later
// Small media clips made once per test program with the ffmpeg program.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace korvane::test {

struct TMediaClips {
  std::string Folder;
  std::string VideoAudio;       // 2 s, 320x240 at 25 fps MPEG-4 + AAC stereo 44.1 kHz, tagged, MP4
  std::string AudioOnly;        // 1 s MP3 mono 22.05 kHz with ID3 tags
  std::string VideoOnly;        // 1 s 160x120 at 30000/1001 fps MPEG-4 in AVI, no audio
  std::string Widescreen;       // 320x240 pictures shown at 16:9 (MPEG-4 in AVI)
  std::string Subtitled;        // Matroska: video (language "fre"), audio, subtitles
  std::string UnknownDuration;  // Matroska written to a pipe: no duration anywhere
  std::string NotMedia;         // a text file named .mp4
  std::string Empty;            // a zero-byte .mp4
  std::string Truncated;        // the first half of VideoAudio (its index is at the end)
  std::string TruncatedHeader;  // the first 200 bytes of a Matroska file: reading runs out
  std::string RawH264;          // an H.264 elementary stream: no start time known
  std::string TenSeconds;       // 10 s, 320x240 at 25 fps MPEG-4 + MP3 stereo 44.1 kHz, AVI
  std::string TimestampJumps;   // MPEG-TS whose times jump back, then 100 s forward
  std::string FrameGap;         // 2 s at 25 fps with pictures 10 to 12 left out
  std::string FiftyFPS;         // 2 s at 50 fps
  std::string LateAudio;        // 2 s of video from 0 s; audio (44.1 kHz stereo) from 0.5 s
  std::string Surround;         // 1 s of 5.1 sound at 48 kHz, WAV
  std::string NarrowBand;       // 1 s of mono sound at 8 kHz, WAV
  std::string LeftStrip;        // 640x480 black with the 8 leftmost columns white, lossless
  std::string MidGrey;          // 320x240 of grey 128, lossless
  std::string OddWidth;         // 641x480, 4:4:4, lossless
  std::string SweepVideo;       // 5 s, 640x480 at 25 fps MPEG-4 + PCM stereo 44.1 kHz, AVI
  std::string SweepAudio;       // 5 s of PCM stereo 44.1 kHz, WAV
  std::string LongHD;           // 30 s, 1280x720 at 25 fps MPEG-4 + MP3: takes seconds to convert
  // 1 s, 320x180 at 25 fps H.264 + AAC, MP4, as a phone stores a clip shot
  // upright: lying on its side, with a display matrix that turns it a
  // quarter turn clockwise (ffprobe: rotation -90). Grey, with a white
  // 64x36 box in the top-left corner of the stored picture.
  std::string Portrait;
  // Lossless pictures of 160x120 in unusual pixel formats, by format name.
  std::vector<std::pair<std::string, std::string>> PixelFormats;
};

// Makes the clips on first use; every test of the program shares them.
const TMediaClips &MediaClips();

// Clips that live beside the test programs in Folder are made once for all
// of them: Make runs unless the stamp file Version is there, under the lock
// file LockName, which keeps programs that start together from making
// them twice.
void MakeClipsOnce(const std::string &Folder, const std::string &LockName, const std::string &Version,
                   const std::function<void()> &Make);

// Runs the ffmpeg program with Arguments (quiet, overwriting); false on failure.
bool RunFFmpeg(const std::string &Arguments);

}  // namespace korvane::test
