// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchReport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "JsonLine.h"
#include "SizeTarget.h"

namespace korvane::convert {

namespace {

using TClock = std::chrono::steady_clock;

// The fewest milliseconds between two progress events of one file.
constexpr std::chrono::milliseconds ProgressSpacing{500};

const char *OutcomeWord(TOutcome Outcome) {
  switch (Outcome) {
    case TOutcome::Done: return "done";
    case TOutcome::Partial: return "partial";
    case TOutcome::Failed: return "failed";
    case TOutcome::Skipped: return "skipped";
    default: return "stopped";
  }
}

std::string Megabytes(int64_t Bytes) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.1fMB", static_cast<double>(Bytes) / (1024.0 * 1024.0));
  return Text;
}

// How much of the output is written, 0 to 1; 0 while its length is unknown.
double Fraction(const TProgressInfo &P) {
  return P.TotalOutputDuration > 0
             ? std::min(1.0, static_cast<double>(P.CurrentDuration) / P.TotalOutputDuration)
             : 0;
}

std::string ProgressLine(const TFileProgress &F) {
  const TProgressInfo &P = F.Progress;
  const double Done = Fraction(P);
  const double Elapsed = std::chrono::duration<double>(TClock::now() - F.Started).count();
  const TPace Pace = MeasurePace(P.CurrentDuration, P.TotalOutputDuration, Elapsed);
  std::string ETA = "--:--";
  if (Pace.SecondsLeft >= 0) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "%02lld:%02lld", static_cast<long long>(Pace.SecondsLeft / 60),
                  static_cast<long long>(Pace.SecondsLeft % 60));
    ETA = Text;
  }
  char Text[512];
  std::snprintf(Text, sizeof Text, "%-32.32s %3d%% frames=%d fps=%d size=%s eta %s", F.Input.c_str(),
                static_cast<int>(Done * 100), std::max(P.FrameNumber, 0), std::max(P.FPS, 0),
                Megabytes(P.CurrentSize).c_str(), ETA.c_str());
  return Text;
}

std::string ProgressEvent(const TFileProgress &F) {
  const TProgressInfo &P = F.Progress;
  const double Elapsed = std::chrono::duration<double>(TClock::now() - F.Began).count();
  TJsonLine Line("progress");
  Line.Text("file", F.Input);
  Line.Number("percent", P.TotalOutputDuration > 0 ? std::optional(Fraction(P) * 100) : std::nullopt, 1);
  if (P.FrameNumber >= 0)
    Line.Integer("frames", P.FrameNumber);
  else
    Line.Number("frames", std::nullopt);
  // Seconds of output made per second of work, once a second of work tells.
  const TPace Pace = MeasurePace(P.CurrentDuration, P.TotalOutputDuration, Elapsed);
  Line.Number("speed", Pace.Speed > 0 ? std::optional(Pace.Speed) : std::nullopt);
  return Line.Line();
}

std::string EndLine(const TFileEnd &E) {
  const std::string Output = E.Output.empty() ? "" : " -> " + E.Output;
  const std::string Reason = E.Reason.empty() ? "" : ": " + E.Reason;
  const std::string Note = E.Note.empty() ? "" : " (" + E.Note + ")";
  switch (E.Outcome) {
    case TOutcome::Done: return "done     " + E.Input + Output + Note + "\n";
    case TOutcome::Partial: return "partial  " + E.Input + Output + Reason + Note + "\n";
    case TOutcome::Failed: return "failed   " + E.Input + Reason + "\n";
    case TOutcome::Skipped: return "skipped  " + E.Input + Output + Reason + "\n";
    default: return "stopped  " + E.Input + Output + "\n";
  }
}

std::string EndEvent(const TFileEnd &E) {
  const auto Maybe = [](const std::string &Text) {
    return Text.empty() ? std::nullopt : std::optional(Text);
  };
  TJsonLine Line("end");
  Line.Text("file", E.Input).OptionalText("output", Maybe(E.Output)).Text("outcome", OutcomeWord(E.Outcome));
  Line.OptionalText("reason", Maybe(E.Reason)).OptionalText("note", Maybe(E.Note));
  if (E.Bytes >= 0)
    Line.Integer("bytes", E.Bytes);
  else
    Line.Number("bytes", std::nullopt);
  Line.Number("seconds", E.Seconds >= 0 ? std::optional(E.Seconds) : std::nullopt);
  return Line.Line();
}

}  // namespace

void TBatchCounts::Count(TOutcome Outcome, bool IsNotMedia) {
  ++Files;
  TOutcomeCounts::Count(
      Outcome == TOutcome::Waiting || Outcome == TOutcome::Running ? TOutcome::Stopped : Outcome, IsNotMedia);
}

int TBatchCounts::ExitStatus(int StopSignal) const {
  if (StopSignal) return 128 + StopSignal;  // 130 for SIGINT, 143 for SIGTERM
  return Failed + Partial > 0 ? 1 : 0;
}

TBatchReport::TBatchReport(bool Json, std::string Profile)
    : FJson(Json), FProfile(std::move(Profile)), FTerminal(!Json && isatty(STDERR_FILENO)) {}

void TBatchReport::Write(const std::string &Line, FILE *To) {
  std::fputs(Line.c_str(), To);
  std::fflush(To);
}

// On a terminal the progress lines go before any other line and come back
// with the next redraw. Under FLock.
void TBatchReport::ClearProgress() {
  if (FTerminal && FDrawn) {
    std::fprintf(stderr, "\x1b[%zuA\x1b[J", FDrawn);
    FDrawn = 0;
  }
}

void TBatchReport::Log(const std::string &Name, const std::string &Message) {
  const std::lock_guard Guard(FLock);
  Write("[" + Name + "] " + Message + "\n", stderr);
}

void TBatchReport::Started(const std::string &Input, const std::string &Output) {
  if (!FJson) return;
  const std::string Line =
      TJsonLine("start").Text("file", Input).Text("output", Output).Text("profile", FProfile).Line();
  const std::lock_guard Guard(FLock);
  Write(Line, stdout);
}

void TBatchReport::Progress(const std::vector<TFileProgress> &Files) {
  const std::lock_guard Guard(FLock);
  if (FJson) {
    const auto Now = TClock::now();
    for (const TFileProgress &F : Files) {
      auto [Last, First] = FLastSent.try_emplace(F.File, Now);
      if (!First && Now - Last->second < ProgressSpacing) continue;
      Last->second = Now;
      Write(ProgressEvent(F), stdout);
    }
    return;
  }
  std::string Text;
  if (FTerminal && FDrawn) Text += "\x1b[" + std::to_string(FDrawn) + "A";
  for (const TFileProgress &F : Files) Text += (FTerminal ? "\x1b[2K" : "") + ProgressLine(F) + "\n";
  if (FTerminal && Files.size() < FDrawn) Text += "\x1b[J";
  if (FTerminal) FDrawn = Files.size();
  Write(Text, stderr);
}

void TBatchReport::Ended(const TFileEnd &End) {
  const std::lock_guard Guard(FLock);
  if ((End.Outcome == TOutcome::Done || End.Outcome == TOutcome::Partial) && End.Bytes >= 0 &&
      End.SourceBytes >= 0) {
    ++FConverted;
    FSourceBytes += static_cast<double>(End.SourceBytes);
    FOutputBytes += static_cast<double>(End.Bytes);
  }
  if (FJson) {
    Write(EndEvent(End), stdout);
    return;
  }
  ClearProgress();
  Write(EndLine(End), stderr);
}

std::string JsonSummaryLine(const TBatchCounts &C, int ExitStatus) {
  return TJsonLine("summary")
      .Integer("files", C.Files)
      .Integer("done", C.Done)
      .Integer("partial", C.Partial)
      .Integer("failed", C.Failed)
      .Integer("stopped", C.Stopped)
      .Integer("skipped", C.Skipped)
      .Integer("not_media", C.NotMedia)
      .Integer("exit_status", ExitStatus)
      .Line();
}

void PrintJsonError(const std::string &Message, int ExitStatus) {
  std::fputs(TJsonLine("error").Text("message", Message).Line().c_str(), stdout);
  std::fputs(JsonSummaryLine({}, ExitStatus).c_str(), stdout);
  std::fflush(stdout);
}

std::string TBatchReport::SummaryLine(const TBatchCounts &C, int ExitStatus) const {
  if (FJson) return JsonSummaryLine(C, ExitStatus);
  std::string Line = std::to_string(C.Done) + " done, ";
  if (C.Partial > 0) Line += std::to_string(C.Partial) + " partial, ";
  Line += std::to_string(C.Failed) + " failed, " + std::to_string(C.Stopped) + " stopped";
  if (C.Skipped > 0) Line += ", " + std::to_string(C.Skipped) + " skipped";
  if (C.NotMedia > 0) Line += " (" + std::to_string(C.NotMedia) + " not media)";
  return Line + "\n";
}

void TBatchReport::Summary(const TBatchCounts &Counts, int ExitStatus) {
  const std::lock_guard Guard(FLock);
  ClearProgress();
  // What the files converted weighed before and after: "12 files, 1.4 GB → 380 MB".
  if (!FJson && FConverted > 0)
    Write(std::to_string(FConverted) + (FConverted == 1 ? " file, " : " files, ") +
              ByteSizeText(FSourceBytes) + " \u2192 " + ByteSizeText(FOutputBytes) + "\n",
          stderr);
  Write(SummaryLine(Counts, ExitStatus), FJson ? stdout : stderr);
}

void TBatchReport::LastSummary(const TBatchCounts &Counts, int ExitStatus) {
  // A line being written when the signal came is let finish; one that does
  // not finish in time (its reader stopped reading) gets no summary after
  // it, which would only garble it. The lock is kept: nothing follows.
  if (!FLock.try_lock_for(std::chrono::seconds(2))) return;
  ClearProgress();
  Write(SummaryLine(Counts, ExitStatus), FJson ? stdout : stderr);
}

}  // namespace korvane::convert
