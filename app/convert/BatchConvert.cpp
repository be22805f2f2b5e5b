// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert's batch on the media libraries: a component for each
// job slot, its events handed to the batch runner (BatchRunner.h), and the
// libraries' probe reading the files.
#include <cstdio>
#include <memory>
#include <vector>

#include "BatchList.h"
#include "BatchRunner.h"
#include "Commands.h"
#include "ComponentRunEngine.h"
#include "MediaFiles.h"
#include "ProfileChoice.h"

namespace korvane::convert {

namespace {

// The files as the media libraries read them.
class TLibraryProbe : public TBatchProbe {
 public:
  explicit TLibraryProbe(TAVProbe &Probe) : FProbe(Probe) {}

  TMediaKind Read(const std::string &Path, bool Found, bool Turned, TFileRowTexts &Row,
                  std::string &Reason) override {
    if (!Found) {
      if (FProbe.LoadFile(Path, "")) Row = FileRowTexts(FProbe, Turned);
      FProbe.CloseFile();
      return TMediaKind::Media;
    }
    const TMediaKind Kind = ProbeMediaKind(FProbe, Path, Reason);
    if (Kind == TMediaKind::Media) Row = FileRowTexts(FProbe, Turned);
    FProbe.CloseFile();
    return Kind;
  }
  TAVProbe &Probe() override { return FProbe; }

 private:
  TAVProbe &FProbe;
};

// The component of one job slot.
struct TSlotComponent {
  TFFmpegVCL Component;
  TComponentRunEngine Engine{Component};
};

// Hands the component's events to slot Slot of the runner. Every component
// hears every library line, with -1 where the line is not from one of its
// own tasks: such lines are shown once, by the first slot, and only when
// they come from this thread (the probe's).
void ConnectEvents(TFFmpegVCL &Component, TBatchRunner &Runner, size_t Slot) {
  const bool ShowsOthers = Slot == 0;
  const pid_t MainThread = CurrentThreadID();
  Component.OnLog = [&Runner, Slot, ShowsOthers, MainThread](int AIndex, TLogLevel Level,
                                                             const std::string &Message) {
    if (AIndex < 0 && !(ShowsOthers && CurrentThreadID() == MainThread)) return;
    Runner.Log(Slot, AIndex, Level, Message);
  };
  Component.OnProgress = [&Runner, Slot](int AIndex, int Frames, int FPS, int Duration, float Quality,
                                         float BitRate, int64_t Size, int Total) {
    Runner.Progress(Slot, AIndex, {Frames, FPS, Duration, Quality, BitRate, Size, Total});
  };
  Component.OnTerminate = [&Runner, Slot](int AIndex, bool Finished, bool Exception,
                                          const std::string &Message, const std::string &Note) {
    Runner.Terminate(Slot, AIndex, {Finished, Exception, Message, Note});
  };
}

// Makes the component of a slot; none (after saying why) when the media
// libraries cannot be loaded.
std::unique_ptr<TSlotComponent> MakeComponent(const TCommandLine &Command, const std::string &LibraryFolder) {
  auto Made = std::make_unique<TSlotComponent>();
  Made->Component.SetLogLevel(static_cast<TLogLevel>(Command.LogLevel));
  if (Made->Component.LoadMediaLibraries(LibraryFolder)) return Made;
  std::fprintf(stderr, "Some files are missing. Please re-install this software\n%s\n",
               Made->Component.LastError().c_str());
  return nullptr;
}

}  // namespace

int ConvertFiles(const TCommandLine &Command, const std::string &LibraryFolder) {
  TProfileForm Form = SelectProfile(Command.Profile);
  ApplyPicks(Command, Form);
  if (OutputFolderState(Command.OutputFolder) != TFolderState::Usable)
    throw EUsageError("the output folder '" + Command.OutputFolder +
                      "' does not exist or cannot be written to");
  std::vector<TBatchEntry> Entries = CollectBatch(Command);
  // The first slot's component reads the files too.
  std::vector<std::unique_ptr<TSlotComponent>> Slots;
  const auto Refused = [&] {
    if (Command.Json) PrintJsonError("the media libraries cannot be loaded", 1);
    return 1;
  };
  if (!Slots.emplace_back(MakeComponent(Command, LibraryFolder))) return Refused();
  TLibraryProbe Probe(Slots.front()->Component.AVProbe());
  TBatchRunner Batch(Command, std::move(Form), std::move(Entries), Probe);
  while (Slots.size() < Batch.SlotsWanted())
    if (!Slots.emplace_back(MakeComponent(Command, LibraryFolder))) return Refused();
  // The components' events reach the runner only while it lives: they
  // are let go before it is.
  struct TDetach {
    std::vector<std::unique_ptr<TSlotComponent>> &Slots;
    ~TDetach() { Slots.clear(); }
  } Detach{Slots};
  for (size_t I = 0; I < Slots.size(); ++I) {
    Batch.AddSlot(Slots[I]->Engine);
    ConnectEvents(Slots[I]->Component, Batch, I);
  }
  Batch.CheckFilesFit();
  return Batch.Run();
}

}  // namespace korvane::convert
