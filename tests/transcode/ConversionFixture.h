// SPDX-License-Identifier: GPL-3.0-or-later
// Drives one task through a whole conversion, as the component will: the
// input record, the input, the output record, the output, the run, clearing.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "AVLibraries.h"
#include "FFmpeg.h"
#include "MediaCheck.h"
#include "MediaFixtures.h"
#include "TestEnvironment.h"

namespace korvane::test {

struct TConversion {
  bool InputOpened = false;
  bool OutputOpened = false;
  bool Ran = false;       // the run returned without an exception
  bool Finished = false;  // the run reached its end without a stop
  std::string Error;      // the failure text, from the task or the exception
  std::string Shortfall;  // why a finished run's outputs are short of the source, or empty
  std::vector<std::string> Log;
  std::vector<TProgressInfo> Progress;
  int FramesDup = 0, FramesDrop = 0;
  int64_t VideoSize = 0, AudioSize = 0;
  bool Logged(const std::string &Line) const;
};

using TConfigure = std::function<void(TInputOptions &, TOutputOptions &)>;
using TPrepare = std::function<void(TFFmpeg &, TConversion &)>;

// Option lines for the input and the output records.
TConfigure Lines(const std::string &Input, const std::string &Output);

// Converts Input to Output; Configure fills the records, Prepare may set up
// the task (callbacks, intervals) just before the run.
TConversion Convert(const std::string &Input, const std::string &Output, const TConfigure &Configure = {},
                    const TPrepare &Prepare = {});

class TranscodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadLibraries();
    SetLibraryLogLevel(0);
  }
  std::string Out(const std::string &Name) const { return Temp.File(Name); }
  const TMediaClips &Clips = MediaClips();
  TTempDir Temp;
};

}  // namespace korvane::test
