// SPDX-License-Identifier: GPL-3.0-or-later
// Converting to a size: how a size is typed and shown, and how a target
// size is shared between sound and picture over a file's length. The sound
// gets its budget first (it costs little and is heard at once when
// starved); the pictures get the rest, less what the container takes.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvane {

// The most bytes a file can hold (2^63 - 1): a larger size fits no file.
inline constexpr double MostFileBytes = 9223372036854775807.0;

// A size as a person types it: "25M", "600K", "1.5G", "10 MB", "25MiB" or
// a count of bytes ("1048576"); K, M and G count in 1024s. None when Text
// is not a size; zero and negative sizes are read, for the caller to refuse.
std::optional<double> ReadByteSize(std::string_view Text);

// A size as the converter shows it: "830 bytes", "600 KB", "5.9 MB",
// "1.4 GB" (two figures at least, in 1024s).
std::string ByteSizeText(double Bytes);

// The bytes of a "File Size: 25 MB" item of the bit rate lists; none for
// any other item.
std::optional<int64_t> FileSizeItemBytes(std::string_view Item);

// What a size target is shared over.
struct TSizeNeeds {
  double Seconds = 0;         // the output's length; 0 or less: not known
  bool Video = false;         // the output has pictures
  int AudioTracks = 0;        // sound tracks coded
  int AudioKbps = 0;          // each track's rate as chosen; 0: the encoder's own
  int MinAudioKbps = 32;      // the least the sound encoder sounds fine at
  int MaxAudioKbps = 320;     // the most it codes
  int Width = 0, Height = 0;  // the output's picture, for the advice
  double FrameRate = 0;
};

// The rates a target gives, or why it cannot be met.
struct TSizeBudget {
  int VideoKbps = 0;  // 0 without pictures
  int AudioKbps = 0;  // each track
  // Why the target is refused ("10 KB is too small for 30 s; at least
  // 630 KB"); empty when it is not.
  std::string Refusal;
  // A word on a picture that would get very few bits, with a smaller size
  // that would look better; the size stays the user's choice.
  std::string Advice;
  // The target is more than the pictures can use (or, without pictures,
  // more than the sound encoder codes): no rates are planned, and the
  // profile's own quality step or rate meets it.
  bool Roomy = false;
};

// Shares TargetBytes over Needs.
TSizeBudget PlanSize(double TargetBytes, const TSizeNeeds &Needs);

// A conversion aimed at a size: the target and the rates it was shared
// into over the output's length.
struct TSizePlan {
  double TargetBytes = 0;
  double Seconds = 0;
  int VideoKbps = 0;  // 0 without pictures
  int AudioKbps = 0;  // each track
  int AudioTracks = 0;
  int MaxAudioKbps = 320;  // the most the sound encoder codes a track at
  std::string Advice;      // see TSizeBudget
};

// A target a file cannot be converted to, with why.
class ESizeRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The share of a target aimed at: the encoders land a little either side
// of their rate, and the output must not pass the target.
inline constexpr double TargetAim = 0.97;
// An output below this share of its target is coded again, once, closer.
inline constexpr double TargetFloor = 0.90;

// The sound rate of the next try of a sound-only output, after a try at
// AudioKbps came out at ActualBytes where TargetBytes was wanted: at most
// three times, at least a third of the rate before.
int CorrectedAudioKbps(int AudioKbps, double TargetBytes, double ActualBytes);

// The video rate of the next try, after a try at VideoKbps came out at
// ActualBytes where TargetBytes was wanted; AudioBytes of it were sound.
int CorrectedVideoKbps(int VideoKbps, double TargetBytes, double ActualBytes, double AudioBytes);

// The bytes a conversion at these rates gives over Seconds, with the
// container's share.
double BytesAtRates(double Seconds, int VideoKbps, int AudioKbps, int AudioTracks);

}  // namespace korvane
