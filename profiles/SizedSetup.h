// SPDX-License-Identifier: GPL-3.0-or-later
// A conversion aimed at a size: its rates planned from the target and the
// length converted, and the runs that bring the output there. Encoders
// that keep statistics between runs through libavcodec (x264, x265, VP9)
// code it in two passes; the others (SVT-AV1, the sound encoders) in one.
// A try that lands above the target, or well below it, is coded again at a
// corrected rate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "RowSetup.h"

namespace korvane {

// Plans Setup's rates for the target of Choices (or of its "File Size"
// item) over the part of the file Row and Pick describe; nothing without
// a target, or for one more than the pictures can use (the profile's own
// quality step meets it). ESizeRefused for a target the file cannot meet.
void AimAtSize(TConversionSetup &Setup, const TFileRowTexts &Row, const TConversionChoices &Choices,
               const TRowChoices &Pick);

// The seconds converted of a file Row describes, with the range of Pick;
// -1 when not known.
double ConvertedSeconds(const TFileRowTexts &Row, const TRowChoices &Pick);
// The sound tracks an output with Options codes.
int CodedAudioTracks(const TOutputOptions &Options, const TFileRowTexts &Row, const TRowChoices &Pick);

// The runs of one sized conversion. Each run is an ordinary conversion;
// the tries and the passes' statistics go to a hidden folder beside the
// output, which goes when the passes do.
class TSizedPasses {
 public:
  // Setup: a conversion that AimAtSize planned (Setup.Size set).
  explicit TSizedPasses(TConversionSetup Setup);
  ~TSizedPasses();
  TSizedPasses(const TSizedPasses &) = delete;
  TSizedPasses &operator=(const TSizedPasses &) = delete;

  // The next run, once the one before ended done (none before the first);
  // none when the output is in its place. False from Ready() when the work
  // folder cannot be made: Error() says why.
  std::optional<TConversionSetup> Next();
  bool Ready() const { return !FFolder.empty(); }
  const std::string &Error() const { return FError; }
  // How it went, for the log: "2 passes, coded again once: 24.1 MB for 25 MB".
  std::string Summary() const;
  // The runs so far (passes and tries alike).
  int Runs() const { return FRuns; }

 private:
  TConversionSetup Try(int Pass) const;
  // Puts the last try where the output goes; false (with FError) when it
  // cannot.
  bool Place();

  TConversionSetup FSetup;
  TSizePlan FPlan;
  bool FTwoPass = false;
  std::string FFolder, FTryFile, FError;
  int FRuns = 0, FCorrections = 0;
  double FLastBytes = -1;
};

}  // namespace korvane
