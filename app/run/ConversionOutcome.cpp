// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConversionOutcome.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvane {

TOutcome OutcomeOf(const TTaskEnd &End, bool StoppedByUser) {
  if (End.Exception) return TOutcome::Failed;
  if (!End.Finished || StoppedByUser) return TOutcome::Stopped;
  return End.Message.empty() ? TOutcome::Done : TOutcome::Partial;
}

const char *RowOutcomeText(TOutcome Outcome) {
  switch (Outcome) {
    case TOutcome::Done: return "Done";
    case TOutcome::Partial: return "Partial";
    case TOutcome::Failed: return "Fail";
    case TOutcome::Stopped: return "Abort";
    case TOutcome::Skipped: return "Skipped";
    default: return "";
  }
}

void TOutcomeCounts::Count(TOutcome Outcome, bool IsNotMedia) {
  switch (Outcome) {
    case TOutcome::Done: ++Done; break;
    case TOutcome::Partial: ++Partial; break;
    case TOutcome::Failed: ++Failed; break;
    case TOutcome::Skipped:
      ++Skipped;
      if (IsNotMedia) ++NotMedia;
      break;
    case TOutcome::Stopped: ++Stopped; break;
    default: break;
  }
}

TPace MeasurePace(int64_t DoneMs, int64_t TotalMs, double ElapsedSeconds) {
  TPace Pace;
  if (DoneMs <= 0 || ElapsedSeconds < 1) return Pace;
  Pace.Speed = DoneMs / 1000.0 / ElapsedSeconds;
  if (TotalMs > 0)
    Pace.SecondsLeft = std::llround(std::max<int64_t>(TotalMs - DoneMs, 0) / 1000.0 / Pace.Speed);
  return Pace;
}

int64_t BatchSecondsLeft(int64_t LeftMs, int64_t ToComeMs, double Speed) {
  if (Speed <= 0 || LeftMs < 0 || ToComeMs < 0) return -1;
  return std::llround((LeftMs + ToComeMs) / 1000.0 / Speed);
}

std::string TimeText(int64_t Seconds) {
  char Text[48];
  if (Seconds >= 3600)
    std::snprintf(Text, sizeof Text, "%lld:%02lld:%02lld", static_cast<long long>(Seconds / 3600),
                  static_cast<long long>(Seconds / 60 % 60), static_cast<long long>(Seconds % 60));
  else
    std::snprintf(Text, sizeof Text, "%lld:%02lld", static_cast<long long>(Seconds / 60),
                  static_cast<long long>(Seconds % 60));
  return Text;
}

std::string PaceText(const TPace &Pace) {
  if (Pace.Speed <= 0) return {};
  char Text[32];
  std::snprintf(Text, sizeof Text, Pace.Speed < 10 ? "%.1fx" : "%.0fx", Pace.Speed);
  return Pace.SecondsLeft >= 0 ? Text + (", " + TimeText(Pace.SecondsLeft) + " left") : std::string(Text);
}

std::string BatchText(const std::vector<int> &Files, int Total, const std::string &Pace,
                      int64_t BatchSeconds) {
  if (Files.empty()) return Pace;
  std::string Text = Files.size() == 1 ? "file " : "files ";
  for (size_t I = 0; I < Files.size(); ++I) Text += (I ? ", " : "") + std::to_string(Files[I]);
  Text += " of " + std::to_string(std::max<int>(Total, Files.back()));
  if (!Pace.empty()) Text += ", " + Pace;
  if (BatchSeconds >= 0) Text += ", batch " + TimeText(BatchSeconds) + " left";
  return Text;
}

TFolderState OutputFolderState(const std::string &Folder) {
  struct stat Status {};
  if (Folder.empty() || stat(Folder.c_str(), &Status) != 0 || !S_ISDIR(Status.st_mode))
    return TFolderState::Missing;
  // Writing a file needs the right to write in the folder and to enter it.
  return access(Folder.c_str(), W_OK | X_OK) == 0 ? TFolderState::Usable : TFolderState::ReadOnly;
}

}  // namespace korvane
