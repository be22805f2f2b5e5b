// SPDX-License-Identifier: GPL-3.0-or-later
#include "SizedSetup.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace korvane {

namespace {

namespace fs = std::filesystem;

// The sound encoders a size can be planned for, with the rates (kbit/s a
// track) they sound fine from and reach to.
struct TAudioReach {
  const char *Encoder;
  int Least, Most;
};
constexpr TAudioReach AudioReaches[] = {
    {"aac", 32, 320},     {"libfaac", 32, 320},    {"libfdk_aac", 32, 320},
    {"libopus", 24, 510}, {"libmp3lame", 32, 320}, {"libvorbis", 48, 320},
    {"mp2", 32, 384},     {"ac3", 64, 640},        {"wmav2", 32, 320},
};

// The encoders whose statistics libavcodec carries from a first pass to a
// second one.
bool TwoPassEncoder(const std::string &Encoder) {
  return Encoder == "libx264" || Encoder == "libx265" || Encoder == "libvpx-vp9" || Encoder == "libvpx";
}

bool HasLine(const std::string &Lines, const std::string &Line) {
  std::istringstream Stream(Lines);
  for (std::string Each; std::getline(Stream, Each);)
    if (Each == Line) return true;
  return false;
}

// Lines without those that set NAME (constant quality would override the
// rate planned).
std::string WithoutOption(const std::string &Lines, const std::string &Name) {
  std::istringstream Stream(Lines);
  std::string Kept;
  for (std::string Each; std::getline(Stream, Each);)
    if (!Each.starts_with(Name + "=")) Kept += Each + "\n";
  return Kept;
}

// Adds "KEY=VALUE" to the x265-params line, or makes one.
std::string WithX265Parameter(const std::string &Lines, const std::string &Parameter) {
  std::istringstream Stream(Lines);
  std::string Kept;
  bool Found = false;
  for (std::string Each; std::getline(Stream, Each);) {
    if (Each.starts_with("x265-params=")) {
      Each += (Each.size() > 12 ? ":" : "") + Parameter;
      Found = true;
    }
    Kept += Each + "\n";
  }
  return Found ? Kept : Kept + "x265-params=" + Parameter + "\n";
}

}  // namespace

int CodedAudioTracks(const TOutputOptions &Options, const TFileRowTexts &Row, const TRowChoices &Pick) {
  if (Options.AudioDisable || Row.AudioTracks <= 0) return 0;
  if (!HasLine(Options.ExtOptions, "every_track")) return 1;
  if (Pick.AudioTracks == "none") return 0;
  if (Pick.AudioTracks.empty() || Pick.AudioTracks == "all") return Row.AudioTracks;
  return static_cast<int>(std::count(Pick.AudioTracks.begin(), Pick.AudioTracks.end(), ',')) + 1;
}

double ConvertedSeconds(const TFileRowTexts &Row, const TRowChoices &Pick) {
  const double Length = Row.LengthUs > 0 ? Row.LengthUs / 1e6 : -1;
  double End = Length;
  if (Pick.EndMs >= 0) End = Length >= 0 ? std::min(Pick.EndMs / 1000.0, Length) : Pick.EndMs / 1000.0;
  return End < 0 ? -1 : End - Pick.StartMs / 1000.0;
}

namespace {

TSizeNeeds NeedsOf(const TOutputOptions &Options, const TFileRowTexts &Row, const TRowChoices &Pick) {
  TSizeNeeds Needs;
  Needs.Seconds = ConvertedSeconds(Row, Pick);
  Needs.Video = !Options.VideoDisable && Row.Picture.Present();
  Needs.AudioTracks = CodedAudioTracks(Options, Row, Pick);
  Needs.AudioKbps = Options.AudioBitrate > 0 ? Options.AudioBitrate / 1000 : 0;
  for (const TAudioReach &Reach : AudioReaches)
    if (Options.AudioCodec == Reach.Encoder) {
      Needs.MinAudioKbps = Reach.Least;
      Needs.MaxAudioKbps = Reach.Most;
    }
  // Opus codes at most 256 kbit/s a channel: a mono track stops there. The
  // channels are those chosen, or the source's own, which may be one.
  if (Options.AudioCodec == "libopus")
    Needs.MaxAudioKbps = std::min(Needs.MaxAudioKbps, 256 * std::max(Options.AudioChannels, 1));
  // The output's own size and rate where the profile sets them, else the source's.
  Needs.Width = Row.Picture.Width;
  Needs.Height = Row.Picture.Height;
  if (!Options.FrameSize.empty() &&
      std::sscanf(Options.FrameSize.c_str(), "%dx%d", &Needs.Width, &Needs.Height) != 2)
    Needs.Width = Needs.Height = 0;
  Needs.FrameRate = Options.FrameRate.empty() ? Row.Picture.FrameRate : std::atof(Options.FrameRate.c_str());
  return Needs;
}

// Why the output's streams cannot be brought to a size, or nothing.
std::string Unsizable(const TOutputOptions &Options, bool Video, int AudioTracks) {
  if (Options.VideoCodec == "copy" || Options.AudioCodec == "copy")
    return "a copy keeps the streams' own size: a target size needs a profile that encodes";
  if (Video && !TwoPassEncoder(Options.VideoCodec) && Options.VideoCodec != "libsvtav1" &&
      Options.VideoCodec != "libaom-av1")
    return "the size of " + Options.VideoCodec + " pictures cannot be aimed at";
  if (AudioTracks > 0 && std::none_of(std::begin(AudioReaches), std::end(AudioReaches),
                                      [&](const TAudioReach &R) { return Options.AudioCodec == R.Encoder; }))
    return "the size of " + Options.AudioCodec + " sound cannot be chosen: a target size needs a lossy codec";
  return {};
}

// The options of a run at the planned rates.
void SetRates(TOutputOptions &Options, const TSizePlan &Plan) {
  if (Plan.VideoKbps > 0) {
    Options.VideoBitrate = Plan.VideoKbps * 1000;
    Options.ExtOptions = WithoutOption(WithoutOption(Options.ExtOptions, "crf"), "qp");
  }
  if (Plan.AudioTracks > 0) {
    Options.AudioBitrate = Plan.AudioKbps * 1000;
    // LAME codes any average rate; at a constant one it takes the nearest
    // of its steps, which may be above the plan.
    if (Options.AudioCodec == "libmp3lame" && !HasLine(Options.ExtOptions, "abr=1"))
      Options.ExtOptions += "abr=1\n";
    if (Options.AudioCodec == "libopus") Options.ExtOptions = WithoutOption(Options.ExtOptions, "vbr");
  }
}

double FileSize(const std::string &Name) {
  std::error_code Error;
  const auto Size = fs::file_size(Name, Error);
  return Error ? -1 : static_cast<double>(Size);
}

}  // namespace

void AimAtSize(TConversionSetup &Setup, const TFileRowTexts &Row, const TConversionChoices &Choices,
               const TRowChoices &Pick) {
  double Target = Choices.TargetBytes;
  if (Target == 0 && Choices.Profile)
    if (const std::optional<int64_t> Item = FileSizeItemBytes(Choices.Profile->ComboVideoBitrate.Text()))
      Target = static_cast<double>(*Item);
  if (Target == 0) return;
  TOutputOptions &Options = Setup.Options;
  const TSizeNeeds Needs = NeedsOf(Options, Row, Pick);
  if (const std::string Why = Unsizable(Options, Needs.Video, Needs.AudioTracks); !Why.empty())
    throw ESizeRefused(Why);
  const TSizeBudget Budget = PlanSize(Target, Needs);
  if (!Budget.Refusal.empty()) throw ESizeRefused(Budget.Refusal);
  if (Budget.Roomy) return;  // the profile's quality step meets it
  TSizePlan Plan;
  Plan.TargetBytes = Target;
  Plan.Seconds = Needs.Seconds;
  Plan.VideoKbps = Budget.VideoKbps;
  Plan.AudioKbps = Budget.AudioKbps;
  Plan.AudioTracks = Needs.AudioTracks;
  Plan.MaxAudioKbps = std::max(Needs.MaxAudioKbps, Needs.MinAudioKbps);
  Plan.Advice = Budget.Advice;
  SetRates(Options, Plan);
  Setup.Size = Plan;
}

TSizedPasses::TSizedPasses(TConversionSetup Setup) : FSetup(std::move(Setup)), FPlan(*FSetup.Size) {
  FTwoPass = FPlan.VideoKbps > 0 && TwoPassEncoder(FSetup.Options.VideoCodec);
  // Beside the output, so that the last try moves into place by a rename.
  const fs::path Output(FSetup.Output);
  std::string Pattern = (Output.parent_path() / ".korvane-size-XXXXXX").string();
  if (mkdtemp(Pattern.data())) {
    FFolder = Pattern;
    FTryFile = (fs::path(FFolder) / Output.filename()).string();
  } else {
    FError = "cannot make a folder for the passes beside " + FSetup.Output;
  }
}

TSizedPasses::~TSizedPasses() {
  if (FFolder.empty()) return;
  std::error_code Error;
  fs::remove_all(FFolder, Error);
}

TConversionSetup TSizedPasses::Try(int Pass) const {
  TConversionSetup Run = FSetup;
  Run.Size.reset();
  SetRates(Run.Options, FPlan);
  std::string &Lines = Run.Options.ExtOptions;
  const std::string Log = (fs::path(FFolder) / "pass").string();
  if (Pass > 0 && Run.Options.VideoCodec == "libx265") {
    Lines = WithX265Parameter(Lines, "pass=" + std::to_string(Pass) + ":stats=" + Log + "-x265.log");
  } else if (Pass > 0) {
    Lines += "pass=" + std::to_string(Pass) + "\npasslogfile=" + Log + "\n";
    // x264 keeps its statistics in a file of its own, in the working
    // folder unless told.
    if (Run.Options.VideoCodec == "libx264") Lines += "stats=" + Log + "-x264.log\n";
  }
  // A first pass keeps only its statistics: its output is a scratch file.
  Run.Output =
      Pass == 1 ? (fs::path(FFolder) / ("first-pass" + fs::path(FSetup.Output).extension().string())).string()
                : FTryFile;
  return Run;
}

std::optional<TConversionSetup> TSizedPasses::Next() {
  if (FFolder.empty()) return std::nullopt;
  const int Run = FRuns++;
  if (Run == 0) return Try(FTwoPass ? 1 : 0);
  if (Run == 1 && FTwoPass) return Try(2);
  FLastBytes = FileSize(FTryFile);
  const double Floor = FPlan.TargetBytes * TargetFloor;
  const bool Over = FLastBytes > FPlan.TargetBytes, Under = FLastBytes < Floor;
  // Over the target it is coded again until it fits (twice at most);
  // well under it, once.
  if (FLastBytes > 0 && ((Over && FCorrections < 2) || (Under && FCorrections == 0))) {
    ++FCorrections;
    const double Audio = FPlan.AudioKbps * 1000.0 / 8 * FPlan.Seconds * FPlan.AudioTracks;
    if (FPlan.VideoKbps > 0)
      FPlan.VideoKbps = CorrectedVideoKbps(FPlan.VideoKbps, FPlan.TargetBytes, FLastBytes, Audio);
    else
      FPlan.AudioKbps =
          std::min(CorrectedAudioKbps(FPlan.AudioKbps, FPlan.TargetBytes, FLastBytes), FPlan.MaxAudioKbps);
    return Try(FTwoPass ? 2 : 0);
  }
  if (!Place()) return std::nullopt;
  return std::nullopt;
}

bool TSizedPasses::Place() {
  std::error_code Error;
  fs::rename(FTryFile, FSetup.Output, Error);
  if (Error) FError = "cannot move the output into " + FSetup.Output + ": " + Error.message();
  return !Error;
}

std::string TSizedPasses::Summary() const {
  std::string Text = FTwoPass ? "2 passes" : "1 pass";
  if (FCorrections > 0) Text += FCorrections == 1 ? ", coded again once" : ", coded again twice";
  return Text + ": " + ByteSizeText(FLastBytes) + " for " + ByteSizeText(FPlan.TargetBytes);
}

}  // namespace korvane
