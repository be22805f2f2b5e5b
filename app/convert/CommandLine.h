// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of korvane-convert: what the user asked for, or why the
// words do not make a request.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FileChoices.h"

namespace korvane::convert {

// A command line that does not make a request; the program ends with
// status 2 and this message.
class EUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The --log-level words, quietest first: a word's place is the engine's
// log level it stands for.
inline constexpr const char *LogLevelNames[] = {"quiet", "error", "info", "debug", "all"};

enum class TMode { Help, ListProfiles, ShowProfile, Info, Convert };

struct TCommandLine {
  TMode Mode = TMode::Help;
  std::string Profile;  // display text or row number
  std::string OutputFolder;
  bool Overwrite = false;
  bool KeepFileDate = true;  // outputs take the source's modification time
  // Choices in the profile's lists; empty: the profile's default.
  std::string VideoCodec, Size, VideoBitrate, FrameRate, AudioCodec, AudioBitrate, Channels, SampleRate,
      Aspect;
  std::string Hdr;                   // "keep" or "sdr"; empty: the profile's default (keep)
  std::optional<int> Volume;         // bar position 0..10
  std::vector<std::string> Options;  // NAME=VALUE lines; each --hook is a "vhook" line
  std::string HookRanges;            // "START-END,..." in milliseconds: where the plug-ins run
  int Jobs = 0;                      // 0: one per processor core
  int LogLevel = 1;                  // a place in LogLevelNames: "error"
  std::vector<std::string> Files;
  TFileChoices Choices;    // tracks, range or preview, for every file
  double TargetBytes = 0;  // --target-size: each output fits this many bytes; 0: none
  bool Estimate = false;   // --estimate: the expected sizes, without converting
  // Files whose lines name more files and folders ("-": standard input).
  std::vector<std::string> FileLists;
  bool Flat = false;          // every output in the output folder, not in the tree of its folder
  bool SkipExisting = false;  // leave files whose outputs are complete
  bool Json = false;          // events as JSON lines on standard output
  // Every ShardCount-th file of the batch, from the ShardIndex-th (1-based).
  int ShardIndex = 1, ShardCount = 1;
};

// Reads argv; raises EUsageError for words that make no request.
TCommandLine ParseCommandLine(int argc, const char *const *argv);

// Whether the words ask for --json, read before the words are checked:
// a command line that makes no request ends with JSON too.
bool AsksForJson(int argc, const char *const *argv);

// The usage text printed by --help and after a usage error.
const char *UsageText();

}  // namespace korvane::convert
