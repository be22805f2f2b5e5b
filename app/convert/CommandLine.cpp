// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "FFmpeg.h"
#include "ProfileChoice.h"
#include "SizeTarget.h"

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

// Whether Text is "START-END,..." in milliseconds as the engine reads it,
// with every item a range: none left out as malformed, none starting before
// the beginning.
bool ValidRanges(const std::string &Text) {
  const std::vector<TTimeRange> Ranges = ParseTimeRanges(Text);
  const size_t Items = static_cast<size_t>(std::count(Text.begin(), Text.end(), ',')) + 1;
  return Ranges.size() == Items &&
         std::all_of(Ranges.begin(), Ranges.end(), [](const TTimeRange &R) { return R.Start >= 0; });
}

// "K/N": the K-th of N shares, K from 1 to N.
void ReadShard(const std::string &Text, TCommandLine &C) {
  const size_t Slash = Text.find('/');
  constexpr int Most = 1000000;
  if (Slash == std::string::npos || !ReadNumber(Text.substr(0, Slash), 1, Most, C.ShardIndex) ||
      !ReadNumber(Text.substr(Slash + 1), 1, Most, C.ShardCount) || C.ShardIndex > C.ShardCount)
    throw EUsageError("--shard takes K/N, the K-th of N shares with K from 1 to N, not '" + Text + "'");
}

// The place of Word in LogLevelNames, or -1 for no level.
int LevelPlace(const std::string &Word) {
  const auto Found = std::find(std::begin(LogLevelNames), std::end(LogLevelNames), Word);
  return Found == std::end(LogLevelNames) ? -1 : static_cast<int>(Found - std::begin(LogLevelNames));
}

// The words after the program's name, read one at a time.
class TWords {
 public:
  TWords(int argc, const char *const *argv) : FCount(argc), FWords(argv) {}
  bool More() const { return FNext < FCount; }
  std::string Next() { return FWords[FNext++]; }
  // The value of the option Word: the next word.
  std::string ValueOf(const std::string &Word) {
    if (!More()) throw EUsageError(Word + " needs a value");
    return Next();
  }
  bool NextIsNumber() const { return More() && AllDigits(FWords[FNext]); }

 private:
  int FCount;
  const char *const *FWords;
  int FNext = 1;
};

// Where the option Word keeps its value as it is given: the profile's
// choices (see Choices), the profile and the output folder; null for other
// words.
std::string TCommandLine::*TextOption(const std::string &Word) {
  for (const TChoice &Choice : Choices())
    if (Word == Choice.Option) return Choice.Pick;
  if (Word == "-p" || Word == "--profile") return &TCommandLine::Profile;
  if (Word == "-o" || Word == "--output") return &TCommandLine::OutputFolder;
  return nullptr;
}

// Reads the request option Word into C; false for a word that is none.
bool ReadRequestOption(const std::string &Word, TWords &Words, TCommandLine &C) {
  if (Word == "--list-profiles") {
    C.Mode = TMode::ListProfiles;
  } else if (Word == "--show-profile") {
    C.Mode = TMode::ShowProfile;
    C.Profile = Words.ValueOf(Word);
  } else if (Word == "--info") {
    C.Mode = TMode::Info;
  } else {
    return false;
  }
  return true;
}

// Reads the conversion option Word (with its value) into C; EUsageError for
// a word that is no option or a value that does not read.
void ReadConversionOption(const std::string &Word, TWords &Words, TCommandLine &C) {
  if (Word == "--overwrite") {
    C.Overwrite = true;
  } else if (Word == "--no-keep-date") {
    C.KeepFileDate = false;
  } else if (Word == "--volume") {
    int Position = 0;
    const std::string Text = Words.ValueOf(Word);
    if (!ReadNumber(Text, 0, 10, Position))
      throw EUsageError("--volume takes a position from 0 to 10, not '" + Text + "'");
    C.Volume = Position;
  } else if (Word == "--hdr") {
    C.Hdr = Words.ValueOf(Word);
    if (C.Hdr != "keep" && C.Hdr != "sdr") throw EUsageError("--hdr takes keep or sdr, not '" + C.Hdr + "'");
  } else if (Word == "--jobs" || Word == "-j") {
    // The count is optional: without one, or with 0, one job per core.
    C.Jobs = 0;
    if (Words.NextIsNumber()) {
      const std::string Text = Words.Next();
      if (!ReadNumber(Text, 0, 64, C.Jobs))
        throw EUsageError("--jobs takes a number from 0 (one per core) to 64, not '" + Text + "'");
    }
  } else if (Word == "--target-size") {
    const std::string Text = Words.ValueOf(Word);
    const std::optional<double> Bytes = ReadByteSize(Text);
    if (!Bytes) throw EUsageError("--target-size takes a size such as 25M, 600K or 1.5G, not '" + Text + "'");
    if (!(*Bytes >= 1)) throw EUsageError("--target-size must be more than 0, not '" + Text + "'");
    if (*Bytes > MostFileBytes)
      throw EUsageError("--target-size: '" + Text + "' is more than any file can hold (8 EB at most)");
    C.TargetBytes = *Bytes;
  } else if (Word == "--estimate") {
    C.Estimate = true;
  } else if (Word == "--flat") {
    C.Flat = true;
  } else if (Word == "--skip-existing") {
    C.SkipExisting = true;
  } else if (Word == "--file-list") {
    C.FileLists.push_back(Words.ValueOf(Word));
    if (std::count(C.FileLists.begin(), C.FileLists.end(), "-") > 1)
      throw EUsageError("--file-list - (standard input) can be given once");
  } else if (Word == "--shard") {
    ReadShard(Words.ValueOf(Word), C);
  } else if (Word == "--option") {
    const std::string Line = Words.ValueOf(Word);
    if (Line.find('=') == std::string::npos || Line[0] == '=')
      throw EUsageError("--option takes NAME=VALUE, not '" + Line + "'");
    C.Options.push_back(Line);
  } else if (Word == "--hook") {
    const std::string Text = Words.ValueOf(Word);
    if (Text.find_first_not_of(" |") == std::string::npos || Text.find_first_of("\r\n") != std::string::npos)
      throw EUsageError("--hook takes a plug-in file and its arguments on one line, not '" + Text + "'");
    C.Options.push_back("vhook=" + Text);
  } else if (Word == "--hook-ranges") {
    C.HookRanges = Words.ValueOf(Word);
    if (!ValidRanges(C.HookRanges))
      throw EUsageError("--hook-ranges takes START-END,... in milliseconds, not '" + C.HookRanges + "'");
  } else if (IsFileChoice(Word)) {
    ReadFileChoice(Word, Words.ValueOf(Word), C.Choices);
  } else if (const auto Option = TextOption(Word)) {
    C.*Option = Words.ValueOf(Word);
  } else {
    throw EUsageError("unknown option " + Word);
  }
}

// The checks of a conversion request, once all words are read.
void CheckConversion(const TCommandLine &C, const std::string &LevelWord) {
  if (C.Profile.empty()) throw EUsageError("choose a profile with -p NAME|ROW (see --list-profiles)");
  if (C.OutputFolder.empty() && !C.Estimate) throw EUsageError("choose an output folder with -o DIR");
  if (C.Estimate && C.Choices.PreviewMs) throw EUsageError("--estimate and --preview cannot go together");
  if (C.Files.empty() && C.FileLists.empty())
    throw EUsageError("name at least one file or folder to convert, or a list of them with --file-list");
  if (!C.HookRanges.empty() && std::none_of(C.Options.begin(), C.Options.end(), [](const std::string &Line) {
        return Line.rfind("vhook=", 0) == 0;
      }))
    throw EUsageError("--hook-ranges needs a plug-in: add one with --hook");
  CheckFileChoices(C.Choices);
  if (LevelPlace(LevelWord) < 0)
    throw EUsageError("--log-level takes quiet, error, info, debug or all, not '" + LevelWord + "'");
}

}  // namespace

const char *UsageText() {
  return "usage: korvane-convert --list-profiles [--json]\n"
         "       korvane-convert --show-profile NAME|ROW [--json]\n"
         "       korvane-convert --info [--json] FILE...\n"
         "       korvane-convert -p NAME|ROW -o DIR [--overwrite] [--video-codec ITEM] [--size ITEM]\n"
         "                       [--video-bitrate ITEM] [--framerate ITEM] [--audio-codec ITEM]\n"
         "                       [--audio-bitrate ITEM] [--channels Stereo|Mono|Original] [--sample-rate "
         "ITEM]\n"
         "                       [--aspect Original|4:3|16:9] [--hdr keep|sdr] [--volume 0..10]\n"
         "                       [--option NAME=VALUE]...\n"
         "                       [--hook 'PLUGIN ARGS...']... [--hook-ranges START-END,...]\n"
         "                       [--jobs [N]] [--log-level quiet|error|info|debug|all] [--no-keep-date]\n"
         "                       [--audio-tracks LIST|all|none] [--subtitles LIST|all|none] [--burn-subtitle "
         "N]\n"
         "                       [--start T] [--end T] [--preview T] [--target-size SIZE] [--estimate]\n"
         "                       [--flat] [--skip-existing] [--json] [--file-list LIST]... [--shard K/N]\n"
         "                       FILE|FOLDER...\n"
         "Each ITEM is one of the profile's items for that choice (see --show-profile).\n"
         "--hdr sdr converts HDR pictures to SDR where the video codec could keep them\n"
         "(H.265/HEVC, VP9, AV1); other codecs always get SDR.\n"
         "Tracks count from 1 in the file's order; T is seconds (12.5) or H:MM:SS.mmm. --preview writes the\n"
         "picture at T as the profile makes it, NAME.png, instead of converting.\n"
         "--target-size SIZE (25M, 600K, 1.5G: in 1024s) makes each output fit SIZE, in two passes\n"
         "where the encoder has them; a SIZE too small for a file's length is refused before converting,\n"
         "and one more than its pictures can use leaves the profile's own quality.\n"
         "--estimate prints each file's expected output size (FILE: about 5.9 MB) instead of converting\n"
         "(-o is then not needed).\n"
         "A FOLDER is converted with its whole tree: the files whose content is sound or a film (the\n"
         "others are skipped as not media), each output in the same folder below DIR as its file below\n"
         "FOLDER, or every output in DIR with --flat. Links that loop and folders that cannot be read\n"
         "are skipped and named.\n"
         "--file-list LIST takes more files and folders from LIST, one a line ('-': standard input),\n"
         "a relative one counted from LIST's folder. A file named more than once is converted once.\n"
         "--shard K/N converts the K-th of N shares of all of them: every N-th file from the K-th.\n"
         "--skip-existing skips a file whose output in DIR is complete, as DIR/.korvane-journal notes\n"
         "it or by its length against the source's. An output cut short (by a stop, a crash or a\n"
         "short source) is converted again in its place: every run notes there the outputs it leaves\n"
         "stopped or partial, which never keep their source's date.\n"
         "--json writes one JSON object a line to standard output instead of the lines people read\n"
         "(for every request), each with an \"event\" and these fields:\n"
         "  start     file, output, profile\n"
         "  progress  file, percent, frames, speed (output seconds a second): twice a second at most\n"
         "  end       file, output, outcome (done, partial, failed, stopped, skipped), reason,\n"
         "            note (what the output left out), bytes (the output's size), seconds (converting)\n"
         "  estimate  file, bytes, sampled, note, reason (--estimate)\n"
         "  profile   row, name, extension (--list-profiles, --show-profile)\n"
         "  choice    option, default, items (--show-profile)\n"
         "  info      file, video_size, frame_rate, duration, container, hdr, reason (--info)\n"
         "  stream    file, index, type, codec, sample_rate, channels (--info)\n"
         "  error     message: why the request was refused or could not go on\n"
         "  summary   files, done, partial, failed, stopped, skipped, not_media, exit_status\n"
         "The summary is always the last line, after a usage error, SIGINT or SIGTERM too. A value\n"
         "that does not apply is null. A byte of a name that is not UTF-8 is written as \\udcXX\n"
         "(Python reads it back with surrogateescape).\n"
         "Exit status: 0 all done, 1 a file failed or is partial (cut short), 2 usage error, 130 stopped "
         "(Ctrl-C), 143 stopped "
         "(SIGTERM).\n";
}

bool AsksForJson(int argc, const char *const *argv) {
  for (int I = 1; I < argc && std::string(argv[I]) != "--"; ++I)
    if (std::string(argv[I]) == "--json") return true;
  return false;
}

TCommandLine ParseCommandLine(int argc, const char *const *argv) {
  TCommandLine C;
  TWords Words(argc, argv);
  std::string LevelWord = LogLevelNames[C.LogLevel];
  bool Converting = false, FilesOnly = false;
  while (Words.More()) {
    const std::string Word = Words.Next();
    if (FilesOnly || Word.empty() || Word[0] != '-' || Word == "-") {
      C.Files.push_back(Word);
    } else if (Word == "--") {
      FilesOnly = true;
    } else if (Word == "-h" || Word == "--help") {
      C.Mode = TMode::Help;
      return C;
    } else if (Word == "--log-level") {
      LevelWord = Words.ValueOf(Word);
    } else if (Word == "--json") {
      C.Json = true;
    } else if (!ReadRequestOption(Word, Words, C)) {
      ReadConversionOption(Word, Words, C);
      Converting = true;
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
  if (!Converting && !C.Json && C.Files.empty() && C.Profile.empty() && C.OutputFolder.empty())
    return C;  // help
  C.Mode = TMode::Convert;
  CheckConversion(C, LevelWord);
  C.LogLevel = LevelPlace(LevelWord);
  return C;
}

}  // namespace korvane::convert
