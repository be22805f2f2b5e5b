// SPDX-License-Identifier: GPL-3.0-or-later
// A subtitle track drawn into the picture ("burnt in"): a text track (SRT,
// ASS/SSA, MP4 timed text, WebVTT) rendered by libass through libavfilter's
// subtitles filter, a picture track (PGS, DVD) decoded whole when the run is
// set up and laid over the pictures it belongs to. The video path draws it
// into each picture after scaling, so it is sharp at the output's size, and
// before the letterbox bands.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "AVHolders.h"

namespace korvane {

class TSubtitleBurner {
 public:
  // Track Number (1-based among the subtitle tracks) of the file FileName,
  // whose pictures are Width x Height as stored. Raises FFMpegException
  // when the track cannot be read: none of its entries decodes.
  TSubtitleBurner(const std::string &FileName, int Number, int Width, int Height, int Threads);
  TSubtitleBurner(const TSubtitleBurner &) = delete;
  TSubtitleBurner &operator=(const TSubtitleBurner &) = delete;

  // Draws what is on screen at Time (microseconds of the source's clock)
  // into Picture (the picture at the output's size, without bands).
  void Draw(AVFrame *Picture, int64_t Time);

  // The entries the track holds.
  size_t Entries() const { return FEntries; }

 private:
  // One picture of a picture subtitle: palette indices and their colours.
  struct TBitmap {
    int X = 0, Y = 0, Width = 0, Height = 0;
    std::vector<uint8_t> Indices;
    std::array<uint32_t, 256> Palette{};  // 0xAARRGGBB
  };
  struct TShown {
    int64_t Start = 0, End = 0;  // microseconds of the source's clock
    std::vector<TBitmap> Bitmaps;
  };

  // Reads and decodes the whole track once.
  void ReadTrack(const std::string &FileName, int Number);
  void KeepBitmaps(const AVSubtitle &Subtitle, int64_t Start);
  void DrawText(AVFrame *Picture, int64_t Time);
  void BuildTextGraph(const AVFrame *Picture);
  void DrawBitmap(AVFrame *Picture, const TBitmap &Bitmap) const;

  std::string FFileName;
  int FNumber = 0;
  int FThreads = 0;
  bool FText = false;
  size_t FEntries = 0;
  int FCanvasWidth = 0, FCanvasHeight = 0;  // what a picture subtitle's positions refer to
  std::vector<TShown> FShown;               // of a picture track, in time order
  TFilterGraphHolder FGraph;                // of a text track
  AVFilterContext *FIn = nullptr, *FOut = nullptr;
  int FGraphWidth = 0, FGraphHeight = 0, FGraphFormat = -1;
  TFrameHolder FFrame;
};

}  // namespace korvane
