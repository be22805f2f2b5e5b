// SPDX-License-Identifier: GPL-3.0-or-later
#include "SizeEstimate.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "FailureReasons.h"
#include "SizedSetup.h"

namespace korvane {

namespace {

namespace fs = std::filesystem;

// Files up to this long are coded whole; longer ones by SampleCount parts
// of SampleLengthMs.
constexpr double WholeUpTo = 16;
constexpr int SampleCount = 4;
constexpr int64_t SampleLengthMs = 3000;
// What a container adds to each sample whatever its length: its headers
// and index, counted once in the whole output.
constexpr double SampleHeaderBytes = 2048;

// Text with every Name in it replaced by With.
std::string Replaced(std::string Text, const std::string &Name, const std::string &With) {
  if (Name.empty()) return Text;
  for (size_t At = Text.find(Name); At != std::string::npos; At = Text.find(Name, At + With.size()))
    Text.replace(At, Name.size(), With);
  return Text;
}

std::string SecondsText(double Seconds) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.1f s", Seconds);
  return Text;
}

// Why the sample Part of File (Seconds long) could not be coded, in words
// about File: the sample's file and its scratch folder are the estimate's
// own, which the user never sees.
std::string SampleFailure(const std::string &File, double Seconds, const TSamplePart &Part,
                          const std::string &Error, const std::string &Sample, const std::string &Folder) {
  const std::string From = SecondsText(Part.StartMs / 1000.0);
  // A sample that gets nothing: the file holds less than it declares.
  if (Error.find("is empty: nothing was encoded") != std::string::npos)
    return "nothing of " + File + " could be read from " + From + " on, though it declares " +
           SecondsText(Seconds) + ": it is cut short or damaged";
  const std::string Words =
      Replaced(Replaced(Error, Sample, "the sample"), Folder, "the estimate's scratch folder");
  return "the sample of " + File + " from " + From + " could not be coded: " + ExplainedFailure(Words);
}

bool Lossless(const std::string &Encoder) {
  return Encoder == "flac" || Encoder == "alac" || Encoder.starts_with("pcm_") || Encoder == "copy";
}

}  // namespace

std::optional<double> RateEstimate(const TConversionSetup &Setup, const TFileRowTexts &Row,
                                   const TRowChoices &Pick) {
  if (const std::optional<TSizePlan> &Plan = Setup.Size)
    return BytesAtRates(Plan->Seconds, Plan->VideoKbps, Plan->AudioKbps, Plan->AudioTracks);
  const double Seconds = ConvertedSeconds(Row, Pick);
  if (Seconds <= 0) return std::nullopt;
  const TOutputOptions &O = Setup.Options;
  const bool Video = !O.VideoDisable && Row.Picture.Present();
  const int Tracks = CodedAudioTracks(O, Row, Pick);
  if (Video && (O.VideoBitrate <= 0 || O.VideoCodec == "copy")) return std::nullopt;
  if (Tracks > 0 && (O.AudioBitrate <= 0 || Lossless(O.AudioCodec))) return std::nullopt;
  return BytesAtRates(Seconds, Video ? O.VideoBitrate / 1000 : 0, O.AudioBitrate / 1000, Tracks);
}

std::vector<TSamplePart> SampleParts(double Seconds, int64_t StartMs) {
  if (Seconds <= WholeUpTo) return {{StartMs, static_cast<int64_t>(Seconds * 1000)}};
  std::vector<TSamplePart> Parts;
  for (int I = 0; I < SampleCount; ++I) {
    const double Middle = Seconds * 1000 * (I + 0.5) / SampleCount;
    Parts.push_back({StartMs + static_cast<int64_t>(Middle) - SampleLengthMs / 2, SampleLengthMs});
  }
  return Parts;
}

std::string EstimateKey(const TConversionSetup &Setup) {
  const TOutputOptions &O = Setup.Options;
  std::ostringstream Key;
  Key << Setup.Input.FileName << '\n'
      << Setup.Input.StartTime << ' ' << O.RecordingTime << ' ' << O.VideoCodec << ' ' << O.AudioCodec << ' '
      << O.FrameSize << ' ' << O.FrameRate << ' ' << O.VideoBitrate << ' ' << O.AudioBitrate << ' '
      << O.AudioChannels << ' ' << O.AudioSampleRate << ' ' << O.VideoDisable << O.AudioDisable << ' '
      << O.FileFormat << '\n'
      << O.ExtOptions;
  if (Setup.Size) Key << "target=" << Setup.Size->TargetBytes;
  return Key.str();
}

TSizeEstimate SampleEstimate(TBlockingRun &Runner, const TConversionSetup &Setup, const TFileRowTexts &Row,
                             const TRowChoices &Pick, const std::string &Folder) {
  TSizeEstimate Estimate;
  const double Seconds = ConvertedSeconds(Row, Pick);
  if (Seconds <= 0) {
    Estimate.Error = "its length is not known";
    return Estimate;
  }
  double Bytes = 0, Coded = 0;
  int Number = 0;
  for (const TSamplePart &Part : SampleParts(Seconds, Pick.StartMs)) {
    TConversionSetup Sample = Setup;
    Sample.Size.reset();
    Sample.Input.StartTime = static_cast<int32_t>(Part.StartMs);
    Sample.Options.RecordingTime = static_cast<int32_t>(Part.LengthMs);
    Sample.Output = (fs::path(Folder) /
                     ("sample-" + std::to_string(++Number) + fs::path(Setup.Output).extension().string()))
                        .string();
    const std::string Error = Runner.Convert(Sample);
    std::error_code Unread, Ignored;
    const std::uintmax_t Size = fs::file_size(Sample.Output, Unread);
    fs::remove(Sample.Output, Ignored);
    if (!Error.empty() || Unread) {
      Estimate.Error = SampleFailure(Setup.Input.FileName, Seconds, Part,
                                     Error.empty() ? "no output was made" : Error, Sample.Output, Folder);
      return Estimate;
    }
    Bytes += std::max(0.0, static_cast<double>(Size) - SampleHeaderBytes);
    Coded += Part.LengthMs / 1000.0;
  }
  Estimate.Bytes = Bytes * Seconds / std::max(Coded, 0.001) + SampleHeaderBytes;
  Estimate.Sampled = true;
  return Estimate;
}

TSizeEstimate EstimateSize(TBlockingRun &Runner, const TConversionSetup &Setup, const TFileRowTexts &Row,
                           const TRowChoices &Pick, const std::string &Folder) {
  if (const std::optional<double> Bytes = RateEstimate(Setup, Row, Pick)) return {*Bytes, false, {}};
  return SampleEstimate(Runner, Setup, Row, Pick, Folder);
}

}  // namespace korvane
