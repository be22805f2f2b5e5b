// SPDX-License-Identifier: GPL-3.0-or-later
// What every front end does the same when it sets a file up for conversion:
// the volume bar's values, the output options of a row (the profile's
// settings completed with volume, aspect ratio and letterbox), the texts
// a probed file shows in a file list, and the whole set-up of one file's
// conversion from the profile and the user's choices.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "AVProbe.h"
#include "OptionRecords.h"
#include "ProfileOptions.h"
#include "SizeTarget.h"
#include "SourcePicture.h"

namespace korvane {

// The volume bar: positions 0 to 10, 5 the source's own volume.
inline constexpr int VolumePositions = 11;
inline constexpr int DefaultVolumePosition = 5;
// The label of a position ("100%") and the engine's volume value for it
// (256 is unity; 100% sends 255 and 200% sends 600, as the bar always has).
std::string VolumeLabel(int Position);
int VolumeValue(int Position);

// The output options for one row: reset, the selected profile's settings,
// the volume of the bar's position and the aspect ratio of the aspect combo.
// "Original" gives the shape the source's Picture is shown with (1.3333
// for a file without one).
TOutputOptions RowOutputOptions(const TProfileForm &Form, int VolumePosition, const TSourcePicture &Picture);

// The output options a row is converted with, in every front end:
// RowOutputOptions for the row's picture, then the letterbox where
// LetterBox asks for it, and for a picture shown a quarter turn wherever a
// frame size is set: a clip shot upright keeps its shape inside a frame of
// the other orientation, with black bars at its sides, rather than being
// stretched into it. Without a frame size the engine takes the source's,
// which turns with the picture. The modern formats show a frame of the
// "Original" aspect with the picture's own shape: there the letterbox adds
// bars only for a 4:3 or 16:9 aspect. Every size and bar asked for is even.
TOutputOptions RowConversionOptions(const TProfileForm &Form, int VolumePosition,
                                    const TSourcePicture &Picture, bool LetterBox);

// The texts a file list shows for a probed file: picture size ("640x480"),
// frame rate ("29.97") and duration ("01:02:05", "Unknown"). Files without
// video, and songs whose only picture is their cover, get a single blank
// for the first two. The picture is described as
// it is shown: a clip stored 1280x720 and shown a quarter turn is
// "720x1280".
struct TFileRowTexts {
  std::string VideoSize = " ";
  std::string FrameRate = " ";
  std::string Duration = "Unknown";
  // Not shown: what a conversion is set up from. The main picture as it
  // is shown; the length in microseconds (-1: not known) and the number
  // of sound tracks, which a target size is shared over.
  TSourcePicture Picture;
  int64_t LengthUs = -1;
  int AudioTracks = 0;
};
// Turned false describes the pictures as stored, for conversions that
// leave them so (the engine's "autorotate=0").
TFileRowTexts FileRowTexts(const TAVProbe &Probe, bool Turned = true);
std::string FrameRateText(int Numerator, int Denominator);
std::string DurationText(int64_t Microseconds);

// What the user chose for the files of a conversion, in any front end: the
// profile with its items selected, where the outputs go, and what comes on
// top of the profile's own settings.
struct TConversionChoices {
  const TProfileForm *Profile = nullptr;
  std::string OutputFolder;
  std::string OutputExtension;  // without the dot
  bool Overwrite = false;
  int VolumePosition = DefaultVolumePosition;
  bool LetterBox = false;
  // The codecs' thread count, for files converted side by side (see
  // ShareCores); a "threads" line of the user's own still wins. None: the
  // engine's own count.
  std::optional<int> CodecThreads;
  // The outputs keep the source's modification time, so photo libraries
  // file them under the day they were made.
  bool KeepFileDate = true;
  // A size each output must fit (bytes; 0: none), as --target-size gives
  // it; a "File Size" item of the bit rate list gives one too.
  double TargetBytes = 0;
  std::string ExtraOptions;  // the user's own "NAME=VALUE" lines, each ended by "\n"
  std::string TimeRanges;    // where frame-hook plug-ins run ("START-END,..." in ms)
};

// What the user chose for one file: its tracks and the part of it that is
// converted.
struct TRowChoices {
  // The audio and subtitle tracks kept: "all", "none" or 1-based numbers
  // ("2,1", in the order wanted); empty: what the profile keeps.
  std::string AudioTracks, Subtitles;
  int BurnSubtitle = 0;  // the subtitle track drawn into the picture, 1-based; 0: none
  int64_t StartMs = 0;   // where the conversion starts in the file
  int64_t EndMs = -1;    // where it ends; -1: the end of the file
};

// One file's conversion as the engine takes it: the output's name, and the
// options of its task's input and output.
struct TConversionSetup {
  std::string Output;
  TInputOptions Input;
  TOutputOptions Options;
  // Set when the output is aimed at a size: TSizedPasses runs it.
  std::optional<TSizePlan> Size;
};

// Turns the set-up of a conversion into that of its preview: the one
// picture at Ms, as the conversion makes it (size, crop, letterbox,
// rotation, a burnt subtitle, tone mapping), through the same engine path,
// written as a PNG to Png.
void MakePreview(TConversionSetup &Setup, const std::string &Png, int64_t Ms);

// Sets up the conversion of the file Input, whose picture Row describes
// (as FileRowTexts gives it), with Choices: the output name (see
// OutputFileName; Taken names outputs other conversions of the same run
// will write) and RowConversionOptions completed with the thread count,
// the user's lines and the time ranges.
// Pick: the file's own choices of tracks and range, as engine option lines
// and the input's start and the output's length. With a target size the
// rates are planned over the length converted (see PlanSize); a target
// the file cannot meet raises ESizeRefused.
TConversionSetup SetUpConversion(const std::string &Input, const TFileRowTexts &Row,
                                 const TConversionChoices &Choices,
                                 const std::function<bool(const std::string &)> &Taken = {},
                                 const TRowChoices &Pick = {});

}  // namespace korvane
