// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert --estimate: each file's expected output size, one line a
// file ("clip.mp4: about 5.9 MB") or an "estimate" event, without
// converting. Sizes a rate
// decides come from arithmetic; those a quality step leaves to the
// encoder come from a few short samples coded in a scratch folder.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>

#include "BatchList.h"
#include "BatchReport.h"
#include "Commands.h"
#include "FFmpegVCL.h"
#include "FailureReasons.h"
#include "JsonLine.h"
#include "MediaFiles.h"
#include "ProfileChoice.h"
#include "SizeEstimate.h"
#include "SizeTarget.h"

namespace korvane::convert {

namespace {

// A scratch folder that goes with its holder.
struct TScratch {
  std::string Path;
  TScratch() {
    std::string Pattern = (std::filesystem::temp_directory_path() / "korvane-estimate-XXXXXX").string();
    if (mkdtemp(Pattern.data())) Path = Pattern;
  }
  ~TScratch() {
    std::error_code Ignored;
    if (!Path.empty()) std::filesystem::remove_all(Path, Ignored);
  }
};

// The target size the profile's quality step meets, when the choices aim
// at one (--target-size or a "File Size" item) and Setup planned no rates
// for it; 0 otherwise.
double RoomyTarget(const TConversionSetup &Setup, const TConversionChoices &Choices) {
  if (Setup.Size) return 0;
  if (Choices.TargetBytes > 0) return Choices.TargetBytes;
  return static_cast<double>(FileSizeItemBytes(Choices.Profile->ComboVideoBitrate.Text()).value_or(0));
}

// One file's estimate: a line to read ("clip.mp4: about 5.9 MB") or an
// "estimate" event.
void PrintEstimate(const std::string &File, const TSizeEstimate &Estimate, const std::string &Note,
                   bool Json) {
  const bool Known = Estimate.Error.empty();
  if (Json) {
    TJsonLine Line("estimate");
    Line.Text("file", File);
    if (Known)
      Line.Integer("bytes", static_cast<int64_t>(Estimate.Bytes)).Boolean("sampled", Estimate.Sampled);
    else
      Line.Number("bytes", std::nullopt).Number("sampled", std::nullopt);
    Line.OptionalText("note", Note.empty() ? std::nullopt : std::optional(Note));
    Line.OptionalText("reason", Known ? std::nullopt : std::optional(Estimate.Error));
    std::fputs(Line.Line().c_str(), stdout);
  } else if (Known) {
    std::printf("%s: about %s%s\n", File.c_str(), ByteSizeText(Estimate.Bytes).c_str(),
                Note.empty() ? "" : (" (" + Note + ")").c_str());
  } else {
    std::printf("%s: no estimate: %s\n", File.c_str(), Estimate.Error.c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int EstimateFiles(const TCommandLine &Command, const std::string &LibraryFolder) {
  UnblockStopSignals();
  TProfileForm Form = SelectProfile(Command.Profile);
  ApplyPicks(Command, Form);
  const std::vector<TBatchEntry> Entries = CollectBatch(Command);
  TScratch Scratch;
  if (Scratch.Path.empty()) throw std::runtime_error("cannot make a scratch folder for the samples");
  TBlockingRun Runner(LibraryFolder);
  if (!Runner.LoadError().empty()) throw std::runtime_error(Runner.LoadError());
  TFFmpegVCL Prober;
  if (!Prober.LoadMediaLibraries(LibraryFolder)) throw std::runtime_error(Prober.LastError());
  TConversionChoices Choices;
  Choices.Profile = &Form;
  Choices.OutputFolder = Scratch.Path;
  Choices.OutputExtension = Form.OutputExtension;
  Choices.VolumePosition = Command.Volume.value_or(DefaultVolumePosition);
  Choices.TargetBytes = Command.TargetBytes;
  for (const std::string &Line : Command.Options) Choices.ExtraOptions += Line + "\n";
  TBatchCounts Counts;
  for (const TBatchEntry &Entry : Entries) {
    if (Entry.Kind != TBatchEntry::TKind::File) continue;
    std::string Reason;
    TAVProbe &Probe = Prober.AVProbe();
    const TMediaKind Kind = ProbeMediaKind(Probe, Entry.Path, Reason);
    const TFileRowTexts Row = Kind == TMediaKind::Media ? FileRowTexts(Probe) : TFileRowTexts();
    Probe.CloseFile();
    if (Kind == TMediaKind::NotMedia && Entry.Found) {
      Counts.Count(TOutcome::Skipped, true);
      continue;
    }
    TSizeEstimate Estimate;
    std::string Note;
    if (Kind != TMediaKind::Media) {
      // The reason names the file once, and says what the engine's words mean.
      Estimate.Error = ExplainedFailure(WithoutLeadingName(Reason, Entry.Path), Entry.Path);
    } else {
      try {
        const TConversionSetup Setup = SetUpConversion(Entry.Path, Row, Choices, {}, Command.Choices.Pick);
        Estimate = EstimateSize(Runner, Setup, Row, Command.Choices.Pick, Scratch.Path);
        if (const double Target = RoomyTarget(Setup, Choices); Target > 0)
          Note = "the profile's quality step needs less than " + ByteSizeText(Target);
      } catch (const std::exception &E) {
        Estimate.Error = E.what();
      }
    }
    Counts.Count(Estimate.Error.empty() ? TOutcome::Done : TOutcome::Failed, false);
    PrintEstimate(Entry.Path, Estimate, Note, Command.Json);
  }
  const int Status = Counts.Failed > 0 ? 1 : 0;
  if (Command.Json) std::fputs(JsonSummaryLine(Counts, Status).c_str(), stdout);
  return Status;
}

}  // namespace korvane::convert
