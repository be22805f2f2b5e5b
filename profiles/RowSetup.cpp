// SPDX-License-Identifier: GPL-3.0-or-later
#include "RowSetup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "LetterBox.h"
#include "ModernSettings.h"
#include "OutputNaming.h"
#include "ProfileSettings.h"
#include "SizedSetup.h"

namespace korvane {

namespace {

struct TVolumeStep {
  const char *Label;
  int Value;
};
// 100% is the engine's unity, 256, which leaves the samples as they are: a
// lossless output then holds the source's samples bit for bit.
constexpr TVolumeStep VolumeSteps[VolumePositions] = {
    {"0%", 1},     {"20%", 50},   {"40%", 100},  {"60%", 150},  {"80%", 200},  {"100%", 256},
    {"120%", 300}, {"140%", 350}, {"160%", 400}, {"180%", 450}, {"200%", 600},
};

int ClampPosition(int Position) {
  return Position < 0 ? 0 : Position >= VolumePositions ? VolumePositions - 1 : Position;
}

}  // namespace

std::string VolumeLabel(int Position) { return VolumeSteps[ClampPosition(Position)].Label; }

int VolumeValue(int Position) { return VolumeSteps[ClampPosition(Position)].Value; }

TOutputOptions RowOutputOptions(const TProfileForm &Form, int VolumePosition, const TSourcePicture &Picture) {
  TOutputOptions Options;
  ApplyProfileSettings(Form, Options);
  Options.AudioVolume = VolumeValue(VolumePosition);
  double Shape;  // the aspect the picture is to be shown with
  switch (Form.ComboAspectRatio.ItemIndex) {
    case 1:
      Options.FrameAspectRatio = "4:3";
      Shape = 4.0 / 3;
      break;
    case 2:
      Options.FrameAspectRatio = "16:9";
      Shape = 16.0 / 9;
      break;
    default:
      // A file without a picture gets the shape of 640x480.
      Options.FrameAspectRatio = RatioText(Picture.Present() ? Picture.Shape() : 4.0 / 3);
      Shape = std::atof(Options.FrameAspectRatio.c_str());
      break;
  }
  const TCatalogueRow *Profile = FindProfile(Form.ComboOutputFormat.Text());
  if (Profile && IsModernVariant(Profile->Variant)) {
    // A modern size item sets the height; the width keeps the picture's shape.
    if (!Options.FrameSize.empty() && Picture.Present())
      Options.FrameSize = FrameSizeForHeight(Options.FrameSize, Shape);
    // A copy cannot change the volume: the bar's own position asks for nothing.
    if (Options.AudioCodec == "copy" && VolumePosition == DefaultVolumePosition) Options.AudioVolume = -1;
  }
  return Options;
}

TOutputOptions RowConversionOptions(const TProfileForm &Form, int VolumePosition,
                                    const TSourcePicture &Picture, bool LetterBox) {
  TOutputOptions Options = RowOutputOptions(Form, VolumePosition, Picture);
  if (!Picture.Present() || !(LetterBox || (Picture.Turned() && !Options.FrameSize.empty()))) return Options;
  // The old formats' "Original" aspect shows the frame with square pixels,
  // as their players do. The modern formats show it with the picture's own
  // shape (their sizes follow it), so their bars come only for a 4:3 or
  // 16:9 frame chosen.
  const TCatalogueRow *Profile = FindProfile(Form.ComboOutputFormat.Text());
  const bool Modern = Profile && IsModernVariant(Profile->Variant);
  ApplyLetterBox(Options, Picture, Form.ComboAspectRatio.ItemIndex <= 0 && !Modern);
  return Options;
}

std::string FrameRateText(int Numerator, int Denominator) {
  if (Denominator == 0) return " ";
  // Two decimals, ties to even, shortest form: 29.97, 23.98, 25.
  const double Hundredths = std::nearbyint(static_cast<double>(Numerator) / Denominator * 100);
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.2f", Hundredths / 100);
  std::string Result = Text;
  while (Result.back() == '0') Result.pop_back();
  if (Result.back() == '.') Result.pop_back();
  return Result;
}

std::string DurationText(int64_t Microseconds) {
  const int64_t Seconds = Microseconds / 1000000;
  if (Seconds < 0 || Microseconds == AV_NOPTS_VALUE) return "Unknown";
  const int64_t Minutes = Seconds / 60;
  char Text[48];
  std::snprintf(Text, sizeof Text, "%02lld:%02lld:%02lld", static_cast<long long>(Minutes / 60),
                static_cast<long long>(Minutes % 60), static_cast<long long>(Seconds - 60 * Minutes));
  return Text;
}

TConversionSetup SetUpConversion(const std::string &Input, const TFileRowTexts &Row,
                                 const TConversionChoices &Choices,
                                 const std::function<bool(const std::string &)> &Taken,
                                 const TRowChoices &Pick) {
  TConversionSetup Setup;
  Setup.Output =
      OutputFileName(Choices.OutputFolder, Input, Choices.OutputExtension, Choices.Overwrite, Taken);
  Setup.Input.FileName = Input;
  Setup.Input.StartTime = static_cast<int32_t>(std::clamp<int64_t>(Pick.StartMs, 0, INT32_MAX));
  Setup.Options =
      RowConversionOptions(*Choices.Profile, Choices.VolumePosition, Row.Picture, Choices.LetterBox);
  if (Choices.CodecThreads) Setup.Options.CodecThreads = *Choices.CodecThreads;
  std::string &Lines = Setup.Options.ExtOptions;
  if (Choices.KeepFileDate) Lines += "keep_date=1\n";
  if (!Pick.AudioTracks.empty()) Lines += "audio_tracks=" + Pick.AudioTracks + "\n";
  if (!Pick.Subtitles.empty()) Lines += "subtitle_tracks=" + Pick.Subtitles + "\n";
  if (Pick.BurnSubtitle > 0) Lines += "burn_subtitle=" + std::to_string(Pick.BurnSubtitle) + "\n";
  if (Pick.EndMs > Pick.StartMs)
    Setup.Options.RecordingTime =
        static_cast<int32_t>(std::min<int64_t>(Pick.EndMs - Pick.StartMs, INT32_MAX));
  Lines += Choices.ExtraOptions;
  Setup.Options.TimeRanges = Choices.TimeRanges;
  AimAtSize(Setup, Row, Choices, Pick);
  return Setup;
}

void MakePreview(TConversionSetup &Setup, const std::string &Png, int64_t Ms) {
  Setup.Output = Png;
  Setup.Input.StartTime = static_cast<int32_t>(std::clamp<int64_t>(Ms, 0, INT32_MAX));
  TOutputOptions &O = Setup.Options;
  // One picture written to the file as any output is, so that a preview
  // that fails leaves no file behind.
  O.FileFormat = "image2pipe";
  O.VideoCodec = "png";
  O.AudioDisable = O.SubtitleDisable = true;
  O.RecordingTime = -1;
  // A profile that copies every stream still previews a coded picture.
  std::string &Lines = O.ExtOptions;
  for (size_t At = 0; (At = Lines.find("copy_all\n", At)) != std::string::npos;)
    if (At == 0 || Lines[At - 1] == '\n')
      Lines.erase(At, 9);
    else
      At += 9;
  Lines += "vframes=1\n";
}

TFileRowTexts FileRowTexts(const TAVProbe &Probe, bool Turned) {
  TFileRowTexts Texts;
  // A song's cover is no film: the song is listed as sound.
  if (Probe.FirstVideoStream() >= 0) {
    TAVVideoStreamInfo Video;
    Probe.GetVideoStreamInfo(Video);
    Texts.Picture = ProbedPicture(Video, Turned);
    Texts.VideoSize = std::to_string(Texts.Picture.Width) + "x" + std::to_string(Texts.Picture.Height);
    Texts.FrameRate = FrameRateText(Video.FrameRateNum, Video.FrameRateDen);
  }
  TAVFileInfo File;
  Probe.GetFileInfo(File);
  Texts.Duration = DurationText(File.Duration);
  Texts.LengthUs = File.Duration > 0 && File.Duration != AV_NOPTS_VALUE ? File.Duration : -1;
  Texts.AudioTracks = Probe.AudioStreamCount();
  return Texts;
}

}  // namespace korvane
