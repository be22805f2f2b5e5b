// SPDX-License-Identifier: GPL-3.0-or-later
// How big an output will be, before converting. A rate chosen (or planned
// for a target size) gives it by arithmetic; a quality step leaves the
// size to the encoder and the picture, so a few short parts spread over
// the file are coded as the conversion would code them, and their size is
// scaled to the length converted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BlockingRun.h"
#include "RowSetup.h"

namespace korvane {

// An estimate, or why there is none.
struct TSizeEstimate {
  double Bytes = -1;
  bool Sampled = false;  // from coded samples, not from rates
  std::string Error;
};

// The size the rates of Setup give over the part of the file Row and Pick
// describe; none when a rate is left to the encoder (a quality step, a
// lossless sound) or the length is not known.
std::optional<double> RateEstimate(const TConversionSetup &Setup, const TFileRowTexts &Row,
                                   const TRowChoices &Pick);

// The parts coded to estimate a conversion of Seconds from StartMs: a few
// short ones spread evenly, or the whole of a short file.
struct TSamplePart {
  int64_t StartMs = 0, LengthMs = 0;
};
std::vector<TSamplePart> SampleParts(double Seconds, int64_t StartMs);

// What tells one estimate from another: the file and every choice that
// changes its output's size.
std::string EstimateKey(const TConversionSetup &Setup);

// Codes the sample parts of Setup (which Row and Pick describe) in Folder
// and scales their size to the length converted; Runner may be stopped
// meanwhile, which ends with an error. An error says why in words about
// the source, never naming the samples or Folder, which are no user's.
TSizeEstimate SampleEstimate(TBlockingRun &Runner, const TConversionSetup &Setup, const TFileRowTexts &Row,
                             const TRowChoices &Pick, const std::string &Folder);

// The estimate of Setup: by its rates where they tell, else by samples.
TSizeEstimate EstimateSize(TBlockingRun &Runner, const TConversionSetup &Setup, const TFileRowTexts &Row,
                           const TRowChoices &Pick, const std::string &Folder);

}  // namespace korvane
