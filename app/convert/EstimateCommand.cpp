// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert --estimate: each file's expected output size, one line a
// file ("clip.mp4: about 5.9 MB"), without converting. Sizes a rate
// decides come from arithmetic; those a quality step leaves to the
// encoder come from a few short samples coded in a scratch folder.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>

#include "BatchList.h"
#include "Commands.h"
#include "FFmpegVCL.h"
#include "MediaFiles.h"
#include "ProfileChoice.h"
#include "SizeEstimate.h"

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
  int Status = 0;
  for (const TBatchEntry &Entry : Entries) {
    if (Entry.Kind != TBatchEntry::TKind::File) continue;
    std::string Reason;
    TAVProbe &Probe = Prober.AVProbe();
    const TMediaKind Kind = ProbeMediaKind(Probe, Entry.Path, Reason);
    const TFileRowTexts Row = Kind == TMediaKind::Media ? FileRowTexts(Probe) : TFileRowTexts();
    Probe.CloseFile();
    if (Kind == TMediaKind::NotMedia && Entry.Found) continue;
    TSizeEstimate Estimate;
    if (Kind != TMediaKind::Media) {
      Estimate.Error = Reason;
    } else {
      try {
        const TConversionSetup Setup = SetUpConversion(Entry.Path, Row, Choices, {}, Command.Choices.Pick);
        Estimate = EstimateSize(Runner, Setup, Row, Command.Choices.Pick, Scratch.Path);
      } catch (const std::exception &E) {
        Estimate.Error = E.what();
      }
    }
    if (Estimate.Error.empty()) {
      std::printf("%s: about %s\n", Entry.Path.c_str(), ByteSizeText(Estimate.Bytes).c_str());
    } else {
      std::printf("%s: no estimate: %s\n", Entry.Path.c_str(), Estimate.Error.c_str());
      Status = 1;
    }
    std::fflush(stdout);
  }
  return Status;
}

}  // namespace korvane::convert
