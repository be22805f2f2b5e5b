// SPDX-License-Identifier: GPL-3.0-or-later
#include "SizeTarget.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace korvane {

namespace {

// What a container adds to its streams: an index and headers, about one
// part in a hundred, and a few kilobytes whatever the length.
constexpr double ContainerShare = 1.01;
constexpr double ContainerBytes = 4096;
// Below these a picture or a sound track is not worth watching or hearing.
constexpr int LeastVideoKbps = 128;
// The encoders' reach: above this no picture needs more.
constexpr int MostVideoKbps = 50000;
// The sound takes at most this share of a target with pictures.
constexpr double MostAudioShare = 0.25;
// Bits a pixel below which a picture turns to blocks, and the share a
// smaller picture should reach.
constexpr double FewBitsAPixel = 0.04, EnoughBitsAPixel = 0.07;

std::string Trimmed(std::string_view Text) {
  while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.front()))) Text.remove_prefix(1);
  while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.back()))) Text.remove_suffix(1);
  return std::string(Text);
}

std::string Lower(std::string Text) {
  for (char &C : Text) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Text;
}

// "30 s", "2 min 5 s", "1 h 2 min".
std::string LengthText(double Seconds) {
  const long Whole = std::lround(Seconds);
  char Text[48];
  if (Seconds < 10 && std::fabs(Seconds - Whole) > 0.05)
    std::snprintf(Text, sizeof Text, "%.1f s", Seconds);
  else if (Whole < 60)
    std::snprintf(Text, sizeof Text, "%ld s", Whole);
  else if (Whole < 3600)
    std::snprintf(Text, sizeof Text, Whole % 60 ? "%ld min %ld s" : "%ld min", Whole / 60, Whole % 60);
  else
    std::snprintf(Text, sizeof Text, (Whole / 60) % 60 ? "%ld h %ld min" : "%ld h", Whole / 3600,
                  (Whole / 60) % 60);
  return Text;
}

// Bytes rounded up to two figures of the unit they are shown in, so that
// the size named is enough.
double RoundedUp(double Bytes) {
  double Unit = 1;
  while (Bytes >= 1024 * Unit && Unit < 1024.0 * 1024 * 1024) Unit *= 1024;
  const double Value = Bytes / Unit;
  const double Step = Value < 10 ? 0.1 : Value < 100 ? 1 : 10;
  return std::ceil(Value / Step - 1e-9) * Step * Unit;
}

// The kilobits a second of streams that fit TargetBytes over Seconds.
double StreamKbps(double TargetBytes, double Seconds) {
  return std::max(0.0, (TargetBytes * TargetAim - ContainerBytes) / ContainerShare) * 8 / 1000 / Seconds;
}

std::string Refused(double TargetBytes, double Seconds, double LeastBytes) {
  return ByteSizeText(TargetBytes) + " is too small for " + LengthText(Seconds) + "; at least " +
         ByteSizeText(RoundedUp(LeastBytes / TargetAim));
}

// A word when the pictures would get very few bits, naming a smaller
// size of the same shape that would get enough.
std::string PictureAdvice(const TSizeNeeds &Needs, int VideoKbps) {
  const double Pixels = double(Needs.Width) * Needs.Height * Needs.FrameRate;
  if (Pixels <= 0) return {};
  const double Bits = VideoKbps * 1000.0 / Pixels;
  if (Bits >= FewBitsAPixel) return {};
  char Text[200];
  for (const int Height : {1080, 720, 480, 360, 240}) {
    if (Height >= Needs.Height) continue;
    const int Width = 2 * static_cast<int>(std::lround(double(Needs.Width) * Height / Needs.Height / 2));
    if (VideoKbps * 1000.0 / (double(Width) * Height * Needs.FrameRate) < EnoughBitsAPixel && Height > 240)
      continue;
    std::snprintf(Text, sizeof Text,
                  "at %dx%d the pictures get %.3f bits a pixel and will look blocky; %dx%d would look better",
                  Needs.Width, Needs.Height, Bits, Width, Height);
    return Text;
  }
  return {};
}

}  // namespace

std::optional<double> ReadByteSize(std::string_view Text) {
  const std::string Whole = Trimmed(Text);
  if (Whole.empty()) return std::nullopt;
  char *End = nullptr;
  const double Number = std::strtod(Whole.c_str(), &End);
  if (End == Whole.c_str() || !std::isfinite(Number)) return std::nullopt;
  const std::string Unit = Lower(Trimmed(End));
  double Scale = 0;
  if (Unit.empty() || Unit == "b" || Unit == "bytes")
    Scale = 1;
  else if (Unit == "k" || Unit == "kb" || Unit == "kib")
    Scale = 1024;
  else if (Unit == "m" || Unit == "mb" || Unit == "mib")
    Scale = 1024.0 * 1024;
  else if (Unit == "g" || Unit == "gb" || Unit == "gib")
    Scale = 1024.0 * 1024 * 1024;
  else
    return std::nullopt;
  return Number * Scale;
}

std::string ByteSizeText(double Bytes) {
  char Text[40];
  if (std::fabs(Bytes) < 1024) {
    std::snprintf(Text, sizeof Text, "%.0f bytes", Bytes);
    return Text;
  }
  const char *Units[] = {"KB", "MB", "GB"};
  int Unit = 0;
  double Value = Bytes / 1024;
  while (std::fabs(Value) >= 1024 && Unit < 2) {
    Value /= 1024;
    ++Unit;
  }
  std::snprintf(Text, sizeof Text, std::fabs(Value) < 9.95 ? "%.1f %s" : "%.0f %s", Value, Units[Unit]);
  return Text;
}

std::optional<int64_t> FileSizeItemBytes(std::string_view Item) {
  constexpr std::string_view Lead = "File Size: ";
  if (!Item.starts_with(Lead)) return std::nullopt;
  const std::optional<double> Bytes = ReadByteSize(Item.substr(Lead.size()));
  if (!Bytes || *Bytes <= 0) return std::nullopt;
  return static_cast<int64_t>(*Bytes);
}

double BytesAtRates(double Seconds, int VideoKbps, int AudioKbps, int AudioTracks) {
  const double Kbps = VideoKbps + double(AudioKbps) * AudioTracks;
  return Kbps * 1000 / 8 * Seconds * ContainerShare + ContainerBytes;
}

TSizeBudget PlanSize(double TargetBytes, const TSizeNeeds &Needs) {
  TSizeBudget Budget;
  if (!(TargetBytes > 0)) {
    Budget.Refusal = "a target size must be more than 0";
    return Budget;
  }
  if (!(Needs.Seconds > 0)) {
    Budget.Refusal = "its length is not known (a live stream dump?), so no target size can be planned for it";
    return Budget;
  }
  const double Kbps = StreamKbps(TargetBytes, Needs.Seconds);
  const int Tracks = std::max(Needs.AudioTracks, 0);
  const int Least = Needs.MinAudioKbps, Most = std::max(Needs.MaxAudioKbps, Least);
  int Audio = std::clamp(Needs.AudioKbps > 0 ? Needs.AudioKbps : 128, Least, Most);
  if (!Needs.Video) {
    // Sound only: the whole budget.
    const double Each = Tracks > 0 ? Kbps / Tracks : 0;
    if (Tracks == 0 || Each < Least) {
      Budget.Refusal = Refused(TargetBytes, Needs.Seconds, BytesAtRates(Needs.Seconds, 0, Least, Tracks));
      return Budget;
    }
    // More than the encoder codes: the profile's own rate stays.
    if (Each > Most)
      Budget.Roomy = true;
    else
      Budget.AudioKbps = static_cast<int>(Each);
    return Budget;
  }
  if (Tracks > 0 && Audio * Tracks > MostAudioShare * Kbps)
    Audio = std::max(Least, static_cast<int>(MostAudioShare * Kbps / Tracks));
  const double Video = Kbps - double(Audio) * Tracks;
  if (Video < LeastVideoKbps) {
    Budget.Refusal =
        Refused(TargetBytes, Needs.Seconds, BytesAtRates(Needs.Seconds, LeastVideoKbps, Least, Tracks));
    return Budget;
  }
  // More than any picture needs: the profile's own quality step stays, and
  // lands under the target.
  if (Video > MostVideoKbps) {
    Budget.Roomy = true;
    return Budget;
  }
  Budget.AudioKbps = Tracks > 0 ? Audio : 0;
  Budget.VideoKbps = static_cast<int>(Video);
  Budget.Advice = PictureAdvice(Needs, Budget.VideoKbps);
  return Budget;
}

int CorrectedAudioKbps(int AudioKbps, double TargetBytes, double ActualBytes) {
  const double Next = AudioKbps * std::clamp(TargetBytes * TargetAim / std::max(ActualBytes, 1.0), 0.3, 3.0);
  return std::max(8, static_cast<int>(Next));
}

int CorrectedVideoKbps(int VideoKbps, double TargetBytes, double ActualBytes, double AudioBytes) {
  const double Wanted = TargetBytes * TargetAim - AudioBytes - ContainerBytes;
  const double Got = std::max(ActualBytes - AudioBytes - ContainerBytes, 1.0);
  const double Next = VideoKbps * std::clamp(Wanted / Got, 0.3, 3.0);
  return std::max(LeastVideoKbps / 2, static_cast<int>(Next));
}

}  // namespace korvane
