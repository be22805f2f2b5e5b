// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileChoices.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include "CommandLine.h"

namespace korvane::convert {

namespace {

constexpr const char *ChoiceWords[] = {"--audio-tracks", "--subtitles", "--burn-subtitle",
                                       "--start",        "--end",       "--preview"};

// A track list as the engine reads it: all, none, or numbers from 1.
bool ValidTrackList(const std::string &Text) {
  if (Text == "all" || Text == "none") return true;
  if (Text.empty() || Text.front() == ',' || Text.back() == ',' || Text.find(",,") != std::string::npos)
    return false;
  for (const char C : Text)
    if (C != ',' && (C < '0' || C > '9')) return false;
  for (size_t At = 0; At < Text.size(); At = Text.find(',', At) + 1) {
    if (Text[At] == '0') return false;  // tracks count from 1
    if (Text.find(',', At) == std::string::npos) break;
  }
  return true;
}

// The numbers of a valid track list, in its order ("2,1"); none for all
// or none. EUsageError for Word's list that names a track twice, or a
// number no file's tracks reach (Kind: "audio", "subtitle").
std::vector<int> ReadTrackNumbers(const std::string &Word, const std::string &Text, const char *Kind) {
  std::vector<int> Numbers;
  if (Text == "all" || Text == "none") return Numbers;
  std::set<std::string> Seen;
  for (size_t Start = 0; Start <= Text.size();) {
    const size_t End = std::min(Text.find(',', Start), Text.size());
    const std::string Item = Text.substr(Start, End - Start);
    Start = End + 1;
    // Digits from 1 with no leading zero: more than 9 of them pass any
    // count of tracks a file can have.
    if (Item.size() > 9)
      throw EUsageError(std::string("There is no ") + Kind + " track " + Item + ": no file has that many");
    if (!Seen.insert(Item).second) throw EUsageError(Word + " names track " + Item + " twice");
    Numbers.push_back(std::atoi(Item.c_str()));
  }
  return Numbers;
}

// Seconds, not negative, from a number with at most 3 decimals.
std::optional<double> ReadSeconds(const std::string &Text) {
  if (Text.empty() || Text.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
  char *End = nullptr;
  const double Seconds = std::strtod(Text.c_str(), &End);
  if (*End != '\0' || !std::isfinite(Seconds)) return std::nullopt;
  return Seconds;
}

}  // namespace

std::vector<int> TrackNumbers(const std::string &Text) { return ReadTrackNumbers("", Text, ""); }

std::optional<int64_t> ReadTime(const std::string &Text) {
  // Up to two "N:" parts in front of the seconds: M:SS.mmm or H:MM:SS.mmm.
  double Total = 0;
  size_t Start = 0;
  for (int Parts = 0;; ++Parts) {
    const size_t Colon = Text.find(':', Start);
    if (Colon == std::string::npos) break;
    if (Parts == 2) return std::nullopt;
    const std::string Part = Text.substr(Start, Colon - Start);
    if (Part.empty() || Part.find_first_not_of("0123456789") != std::string::npos || Part.size() > 6)
      return std::nullopt;
    Total = Total * 60 + std::atoi(Part.c_str());
    Start = Colon + 1;
  }
  const std::optional<double> Seconds = ReadSeconds(Text.substr(Start));
  if (!Seconds || (Start > 0 && *Seconds >= 60)) return std::nullopt;
  const double Milliseconds = std::round((Total * 60 + *Seconds) * 1000);
  if (Milliseconds > 1e12) return std::nullopt;
  return static_cast<int64_t>(Milliseconds);
}

bool IsFileChoice(const std::string &Word) {
  for (const char *Choice : ChoiceWords)
    if (Word == Choice) return true;
  return false;
}

bool ReadFileChoice(const std::string &Word, const std::string &Value, TFileChoices &Choices) {
  TRowChoices &Pick = Choices.Pick;
  if (Word == "--audio-tracks" || Word == "--subtitles") {
    if (!ValidTrackList(Value))
      throw EUsageError(Word + " takes all, none, or track numbers from 1 separated by commas, not '" +
                        Value + "'");
    const bool Audio = Word == "--audio-tracks";
    ReadTrackNumbers(Word, Value, Audio ? "audio" : "subtitle");
    (Audio ? Pick.AudioTracks : Pick.Subtitles) = Value;
  } else if (Word == "--burn-subtitle") {
    if (!ValidTrackList(Value) || Value.find(',') != std::string::npos || Value == "all" || Value == "none")
      throw EUsageError("--burn-subtitle takes one subtitle track number from 1, not '" + Value + "'");
    Pick.BurnSubtitle = ReadTrackNumbers(Word, Value, "subtitle").front();
  } else if (Word == "--start" || Word == "--end" || Word == "--preview") {
    const std::optional<int64_t> Time = ReadTime(Value);
    if (!Time) throw EUsageError(Word + " takes seconds (90, 12.5) or H:MM:SS.mmm, not '" + Value + "'");
    if (Word == "--start")
      Pick.StartMs = *Time;
    else if (Word == "--end")
      Pick.EndMs = *Time;
    else
      Choices.PreviewMs = *Time;
  } else {
    return false;
  }
  return true;
}

void CheckFileChoices(const TFileChoices &Choices) {
  const TRowChoices &Pick = Choices.Pick;
  if (Pick.EndMs >= 0 && Pick.EndMs <= Pick.StartMs)
    throw EUsageError("--end must come after --start: the range is empty or reversed");
}

}  // namespace korvane::convert
