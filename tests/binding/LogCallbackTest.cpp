// SPDX-License-Identifier: GPL-3.0-or-later
// How library log messages become whole lines: the level filter, the
// "[name @ ADDRESS]" prefix, pending text per thread, the bounded buffer and
// the level handed on.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "AVLibraries.h"
#include "AVLog.h"
#include "LibAVUtil.h"
#include "TestEnvironment.h"

namespace korvane::test {
namespace {

const char *FakeItemName(void *) { return "fake"; }

AVClass MakeFakeClass() {
  AVClass Class{};
  Class.class_name = "FakeClass";
  Class.item_name = FakeItemName;
  Class.version = LIBAVUTIL_VERSION_INT;
  return Class;
}
const AVClass FakeClass = MakeFakeClass();

// A library context: its first member points at its class record.
struct FakeContext {
  const AVClass *Class = &FakeClass;
} Context;

std::string Prefix() {
  char Text[64];
  std::snprintf(Text, sizeof Text, "[fake @ %08lX]", reinterpret_cast<unsigned long>(&FakeClass));
  return Text;
}

void Log(void *Ctx, int Level, const char *Pattern, ...) __attribute__((format(printf, 3, 4)));
void Log(void *Ctx, int Level, const char *Pattern, ...) {
  va_list Args;
  va_start(Args, Pattern);
  AVLogCallback(Ctx, Level, Pattern, Args);
  va_end(Args);
}

class LogCallback : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadLibraries();
    SetLibraryLogLevel(1);
    ClearLogList();
  }
  void TearDown() override { ClearLogList(); }
  TLogCapture Captured;
};

TEST_F(LogCallback, PiecesOfOneThreadJoinIntoLinesWithOnePrefix) {
  struct Step {
    void *Ctx;
    int Level;
    const char *Text;
  };
  struct Row {
    const char *Case;
    std::vector<Step> Steps;
    std::vector<std::string> Expected;
  } Rows[] = {
      {"continued line gets no second prefix",
       {{&Context, AV_LOG_INFO, "abc"}, {&Context, AV_LOG_INFO, "def\n"}},
       {Prefix() + "abcdef"}},
      {"message without a context has no prefix", {{nullptr, AV_LOG_INFO, "plain\n"}}, {"plain"}},
      {"two newlines give two lines and keep the rest pending",
       {{nullptr, AV_LOG_INFO, "one\ntwo\nthree"}, {nullptr, AV_LOG_INFO, "\n"}},
       {"one", "two", "three"}},
      {"a filtered message leaves the pending text as it was",
       {{nullptr, AV_LOG_INFO, "abc"}, {&Context, AV_LOG_DEBUG, "hidden\n"}, {nullptr, AV_LOG_INFO, "def\n"}},
       {"abcdef"}},
      {"an empty line is still a line", {{nullptr, AV_LOG_ERROR, "\n"}}, {""}},
      {"a context after a finished line prefixes again",
       {{&Context, AV_LOG_INFO, "a\n"}, {&Context, AV_LOG_INFO, "b\n"}},
       {Prefix() + "a", Prefix() + "b"}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.Case);
    TLogCapture Lines;
    for (const Step &S : R.Steps) Log(S.Ctx, S.Level, "%s", S.Text);
    EXPECT_EQ(Lines.Texts(), R.Expected);
    ClearLogList();
  }
}

TEST_F(LogCallback, LinesCarryTheEngineLevelOfTheMessageThatEndedThem) {
  SetLibraryLogLevel(3);
  struct Row {
    int LibraryLevel;
    int EngineLevel;
  } Rows[] = {{AV_LOG_PANIC, 0}, {AV_LOG_FATAL, 0},   {AV_LOG_ERROR, 0}, {AV_LOG_WARNING, 1},
              {AV_LOG_INFO, 1},  {AV_LOG_VERBOSE, 2}, {AV_LOG_DEBUG, 2}, {AV_LOG_TRACE, 3}};
  for (const Row &R : Rows) {
    TLogCapture Lines;
    Log(nullptr, R.LibraryLevel, "level %d\n", R.LibraryLevel);
    ASSERT_EQ(Lines.Lines().size(), 1u);
    EXPECT_EQ(Lines.Lines()[0].Level, R.EngineLevel) << "library level " << R.LibraryLevel;
    EXPECT_EQ(Lines.Lines()[0].ThreadID, CurrentThreadID());
  }
}

TEST_F(LogCallback, LevelFilterFollowsTheCachedLevel) {
  struct Row {
    int EngineLevel;
    int Cached;
    std::vector<std::string> Passing;
  } Rows[] = {
      {-1, AV_LOG_QUIET, {}},
      {0, AV_LOG_ERROR, {"error"}},
      {1, AV_LOG_INFO, {"error", "warning", "info"}},
      {2, AV_LOG_DEBUG, {"error", "warning", "info", "verbose", "debug"}},
      {3, AV_LOG_TRACE, {"error", "warning", "info", "verbose", "debug", "trace"}},
  };
  for (const Row &R : Rows) {
    SCOPED_TRACE(R.EngineLevel);
    SetLibraryLogLevel(R.EngineLevel);
    EXPECT_EQ(CachedLogLevel(), R.Cached);
    EXPECT_EQ(LibAVUtil::av_log_get_level(), R.Cached);
    TLogCapture Lines;
    Log(nullptr, AV_LOG_ERROR, "error\n");
    Log(nullptr, AV_LOG_WARNING, "warning\n");
    Log(nullptr, AV_LOG_INFO, "info\n");
    Log(nullptr, AV_LOG_VERBOSE, "verbose\n");
    Log(nullptr, AV_LOG_DEBUG, "debug\n");
    Log(nullptr, AV_LOG_TRACE, "trace\n");
    EXPECT_EQ(Lines.Texts(), R.Passing);
  }
}

TEST_F(LogCallback, LevelScalesMapBothWays) {
  EXPECT_EQ(EngineToLibraryLevel(-2), AV_LOG_QUIET);
  EXPECT_EQ(EngineToLibraryLevel(-1), AV_LOG_QUIET);
  EXPECT_EQ(EngineToLibraryLevel(0), AV_LOG_ERROR);
  EXPECT_EQ(EngineToLibraryLevel(1), AV_LOG_INFO);
  EXPECT_EQ(EngineToLibraryLevel(2), AV_LOG_DEBUG);
  EXPECT_EQ(EngineToLibraryLevel(3), AV_LOG_TRACE);
  EXPECT_EQ(EngineToLibraryLevel(9), AV_LOG_TRACE);
  for (int Engine = 0; Engine <= 3; ++Engine)
    EXPECT_EQ(LibraryToEngineLevel(EngineToLibraryLevel(Engine)), Engine);
}

TEST_F(LogCallback, OverlongMessagesAreCutAtTheBufferEnd) {
  const std::string Long(5000, 'x');
  Log(&Context, AV_LOG_INFO, "%s\n", Long.c_str());
  // Without a line end the text fills the buffer, goes out as a line, and the
  // thread's next message starts afresh.
  Log(nullptr, AV_LOG_INFO, "%s", Long.c_str());
  Log(nullptr, AV_LOG_INFO, "after\n");
  const auto Lines = Captured.Texts();
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_EQ(Lines[0], Prefix() + std::string(LogLineBufferSize - 1 - Prefix().size(), 'x'));
  EXPECT_EQ(Lines[1], std::string(LogLineBufferSize - 1, 'x'));
  EXPECT_EQ(Lines[2], "after");
}

TEST_F(LogCallback, ThreadsKeepTheirOwnPendingText) {
  // Each thread leaves a partial line, the other thread logs, then each
  // finishes its own: the pieces never cross.
  std::thread First([] { Log(nullptr, AV_LOG_INFO, "first-a "); });
  First.join();
  Log(nullptr, AV_LOG_INFO, "main-a ");
  std::thread Second([] { Log(nullptr, AV_LOG_INFO, "second-a "); });
  Second.join();
  Log(nullptr, AV_LOG_INFO, "main-b\n");
  const auto Lines = Captured.Texts();
  ASSERT_EQ(Lines.size(), 1u);
  EXPECT_EQ(Lines[0], "main-a main-b");

  // Many threads at once, each writing its lines in pieces.
  constexpr int ThreadCount = 4, LineCount = 200;
  std::vector<std::thread> Threads;
  for (int T = 0; T < ThreadCount; ++T)
    Threads.emplace_back([T] {
      for (int L = 0; L < LineCount; ++L) {
        Log(nullptr, AV_LOG_INFO, "thread %d ", T);
        Log(nullptr, AV_LOG_INFO, "line %d", L);
        Log(nullptr, AV_LOG_INFO, "\n");
      }
    });
  for (auto &T : Threads) T.join();
  int Matching = 0;
  for (const auto &Line : Captured.Lines()) {
    int T = -1, L = -1;
    if (std::sscanf(Line.Text.c_str(), "thread %d line %d", &T, &L) == 2) ++Matching;
  }
  EXPECT_EQ(Matching, ThreadCount * LineCount);
}

// Clearing drops the clearing thread's pending text only: a run starting on
// another thread never cuts a line this thread has half written.
TEST_F(LogCallback, ClearingTheListDropsPendingTextOfThisThreadOnly) {
  Log(nullptr, AV_LOG_INFO, "stale ");
  ClearLogList();
  Log(&Context, AV_LOG_INFO, "kept ");
  std::thread([] { ClearLogList(); }).join();
  Log(nullptr, AV_LOG_INFO, "whole\n");
  EXPECT_EQ(Captured.Texts(), std::vector<std::string>{Prefix() + "kept whole"});
}

TEST_F(LogCallback, InstalledCallbackReceivesTheLibrarysOwnMessages) {
  LibAVUtil::av_log(nullptr, AV_LOG_ERROR, "from the library %d\n", 42);
  EXPECT_TRUE(Captured.Contains("from the library 42"));
}

}  // namespace
}  // namespace korvane::test
