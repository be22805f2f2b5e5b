// SPDX-License-Identifier: GPL-3.0-or-later
// A prepared task with its log lines collected, for the option tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AVLibraries.h"
#include "FFmpeg.h"
#include "TestEnvironment.h"

namespace korvane::test {

class TaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadLibraries();
    SetLibraryLogLevel(1);
    Task.PrepareOptions();
    Task.FOnLog = [this](TCustomFFmpeg &, int Level, const std::string &Text) {
      Logged.push_back(Text);
      Levels.push_back(Level);
    };
  }
  // Raises nothing when the option is accepted; otherwise the message.
  std::string Error(const std::string &Name, const std::string &Value) {
    try {
      Task.SetOption(Name, Value);
      return "";
    } catch (const std::exception &E) {
      return E.what();
    }
  }
  int64_t CodecInt(AVMediaType Type, const char *Name) {
    int64_t Value = 0;
    EXPECT_GE(LibAVUtil::av_opt_get_int(S().FCodecOptions[Type].get(), Name, 0, &Value), 0) << Name;
    return Value;
  }
  TOptionState &S() { return Task.State(); }

  TFFmpeg Task;
  std::vector<std::string> Logged;
  std::vector<int> Levels;
};

}  // namespace korvane::test
