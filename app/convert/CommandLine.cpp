// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace korvane::convert {

namespace {

bool AllDigits(const std::string &Text) {
  return !Text.empty() && Text.find_first_not_of("0123456789") == std::string::npos;
}

bool ReadNumber(const std::string &Text, int Low, int High, int &Value) {
  if (!AllDigits(Text) || Text.size() > 9) return false;
  Value = std::atoi(Text.c_str());
  return Value >= Low && Value <= High;
}

// Whether Text is "START-END,..." with whole milliseconds, each START at
// most its END (blanks around the numbers allowed).
bool ValidRanges(const std::string &Text) {
  size_t Start = 0;
  do {
    size_t Comma = Text.find(',', Start);
    if (Comma == std::string::npos) Comma = Text.size();
    const std::string Item = Text.substr(Start, Comma - Start);
    const size_t Dash = Item.find('-');
    if (Dash == std::string::npos) return false;
    const auto Milliseconds = [](std::string Number) {
      const size_t First = Number.find_first_not_of(' '), Last = Number.find_last_not_of(' ');
      Number = First == std::string::npos ? "" : Number.substr(First, Last - First + 1);
      if (Number.size() > 12 || !AllDigits(Number)) return -1LL;
      return std::atoll(Number.c_str());
    };
    const long long From = Milliseconds(Item.substr(0, Dash)), To = Milliseconds(Item.substr(Dash + 1));
    if (From < 0 || To < From) return false;
    Start = Comma + 1;
  } while (Start <= Text.size());
  return true;
}

}  // namespace

const char *UsageText() {
  return "usage: korvane-convert --list-profiles\n"
         "       korvane-convert --show-profile NAME|ROW\n"
         "       korvane-convert --info FILE...\n"
         "       korvane-convert -p NAME|ROW -o DIR [--overwrite] [--video-codec ITEM] [--size ITEM]\n"
         "                       [--video-bitrate ITEM] [--framerate ITEM] [--audio-codec ITEM]\n"
         "                       [--audio-bitrate ITEM] [--channels Stereo|Mono|Original] [--sample-rate "
         "ITEM]\n"
         "                       [--aspect Original|4:3|16:9] [--volume 0..10] [--option NAME=VALUE]...\n"
         "                       [--hook 'PLUGIN ARGS...']... [--hook-ranges START-END,...]\n"
         "                       [--jobs [N]] [--log-level quiet|error|info|debug|all] FILE...\n"
         "Each ITEM is one of the profile's items for that choice (see --show-profile).\n"
         "Exit status: 0 all done, 1 a file failed, 2 usage error, 130 stopped (Ctrl-C), 143 stopped "
         "(SIGTERM).\n";
}

TCommandLine ParseCommandLine(int argc, const char *const *argv) {
  TCommandLine C;
  // Options that take a value, and where it goes.
  const std::map<std::string, std::string TCommandLine::*> Choices = {
      {"--video-codec", &TCommandLine::VideoCodec},
      {"--size", &TCommandLine::Size},
      {"--video-bitrate", &TCommandLine::VideoBitrate},
      {"--framerate", &TCommandLine::FrameRate},
      {"--audio-codec", &TCommandLine::AudioCodec},
      {"--audio-bitrate", &TCommandLine::AudioBitrate},
      {"--channels", &TCommandLine::Channels},
      {"--sample-rate", &TCommandLine::SampleRate},
      {"--aspect", &TCommandLine::Aspect},
      {"--log-level", &TCommandLine::LogLevel},
      {"-p", &TCommandLine::Profile},
      {"--profile", &TCommandLine::Profile},
      {"-o", &TCommandLine::OutputFolder},
      {"--output", &TCommandLine::OutputFolder},
  };
  bool Converting = false, FilesOnly = false;
  for (int I = 1; I < argc; ++I) {
    const std::string Word = argv[I];
    const auto Value = [&]() -> std::string {
      if (I + 1 >= argc) throw EUsageError(Word + " needs a value");
      return argv[++I];
    };
    if (FilesOnly || Word.empty() || Word[0] != '-' || Word == "-") {
      C.Files.push_back(Word);
    } else if (Word == "--") {
      FilesOnly = true;
    } else if (Word == "-h" || Word == "--help") {
      C.Mode = TMode::Help;
      return C;
    } else if (Word == "--list-profiles") {
      C.Mode = TMode::ListProfiles;
    } else if (Word == "--show-profile") {
      C.Mode = TMode::ShowProfile;
      C.Profile = Value();
    } else if (Word == "--info") {
      C.Mode = TMode::Info;
    } else if (Word == "--overwrite") {
      C.Overwrite = Converting = true;
    } else if (Word == "--volume") {
      int Position = 0;
      const std::string Text = Value();
      if (!ReadNumber(Text, 0, 10, Position))
        throw EUsageError("--volume takes a position from 0 to 10, not '" + Text + "'");
      C.Volume = Position;
      Converting = true;
    } else if (Word == "--jobs" || Word == "-j") {
      // The count is optional: without one, or with 0, one job per core.
      C.Jobs = 0;
      if (I + 1 < argc && AllDigits(argv[I + 1])) {
        const std::string Text = Value();
        if (!ReadNumber(Text, 0, 64, C.Jobs))
          throw EUsageError("--jobs takes a number from 0 (one per core) to 64, not '" + Text + "'");
      }
      Converting = true;
    } else if (Word == "--option") {
      const std::string Line = Value();
      if (Line.find('=') == std::string::npos || Line[0] == '=')
        throw EUsageError("--option takes NAME=VALUE, not '" + Line + "'");
      C.Options.push_back(Line);
      Converting = true;
    } else if (Word == "--hook") {
      const std::string Text = Value();
      if (Text.find_first_not_of(" |") == std::string::npos ||
          Text.find_first_of("\r\n") != std::string::npos)
        throw EUsageError("--hook takes a plug-in file and its arguments on one line, not '" + Text + "'");
      C.Options.push_back("vhook=" + Text);
      Converting = true;
    } else if (Word == "--hook-ranges") {
      C.HookRanges = Value();
      if (!ValidRanges(C.HookRanges))
        throw EUsageError("--hook-ranges takes START-END,... in milliseconds, not '" + C.HookRanges + "'");
      Converting = true;
    } else if (const auto Choice = Choices.find(Word); Choice != Choices.end()) {
      C.*(Choice->second) = Value();
      if (Word != "--log-level") Converting = true;
    } else {
      throw EUsageError("unknown option " + Word);
    }
  }

  if (C.Mode == TMode::ShowProfile || C.Mode == TMode::ListProfiles) {
    if (Converting || !C.Files.empty())
      throw EUsageError("this request takes no files or conversion options");
    return C;
  }
  if (C.Mode == TMode::Info) {
    if (Converting) throw EUsageError("--info takes no conversion options");
    if (C.Files.empty()) throw EUsageError("--info needs at least one file");
    return C;
  }
  if (!Converting && C.Files.empty() && C.Profile.empty() && C.OutputFolder.empty()) return C;  // help
  C.Mode = TMode::Convert;
  if (C.Profile.empty()) throw EUsageError("choose a profile with -p NAME|ROW (see --list-profiles)");
  if (C.OutputFolder.empty()) throw EUsageError("choose an output folder with -o DIR");
  if (C.Files.empty()) throw EUsageError("name at least one file to convert");
  if (!C.HookRanges.empty() && std::none_of(C.Options.begin(), C.Options.end(), [](const std::string &Line) {
        return Line.rfind("vhook=", 0) == 0;
      }))
    throw EUsageError("--hook-ranges needs a plug-in: add one with --hook");
  const std::string Levels[] = {"quiet", "error", "info", "debug", "all"};
  bool KnownLevel = false;
  for (const std::string &Level : Levels) KnownLevel |= C.LogLevel == Level;
  if (!KnownLevel)
    throw EUsageError("--log-level takes quiet, error, info, debug or all, not '" + C.LogLevel + "'");
  return C;
}

}  // namespace korvane::convert
