// SPDX-License-Identifier: GPL-3.0-or-later
// korvane-convert: the converter without a window, for scripts, servers and
// batch jobs, on the same engine and the same profiles as the window.
#include <cstdio>
#include <exception>
#include <string>

#include "AVLibraries.h"
#include "BatchReport.h"
#include "Commands.h"
#include "ProgramFolder.h"

int main(int argc, char **argv) {
  using namespace korvane::convert;
  BlockStopSignals();
  korvane::SaveAndMaskFloatingPointControl();
  const std::string LibraryFolder = korvane::ResourceFolder() + "/Common Files";
  // Under --json standard output holds JSON lines alone, whatever happens:
  // a request refused or ended by an error ends with an error event and
  // the summary too.
  const bool Json = AsksForJson(argc, argv);
  int Status = 2;
  try {
    const TCommandLine Command = ParseCommandLine(argc, argv);
    if (Command.Mode != TMode::Convert) UnblockStopSignals();
    switch (Command.Mode) {
      case TMode::Help:
        Status = 0;
        std::fputs(UsageText(), Json ? stderr : stdout);
        if (Json) std::fputs(JsonSummaryLine({}, Status).c_str(), stdout);
        break;
      case TMode::ListProfiles: Status = ListProfiles(Json); break;
      case TMode::ShowProfile: Status = ShowProfile(Command.Profile, Json); break;
      case TMode::Info: Status = ShowInfo(Command, LibraryFolder); break;
      case TMode::Convert:
        Status =
            Command.Estimate ? EstimateFiles(Command, LibraryFolder) : ConvertFiles(Command, LibraryFolder);
        break;
    }
  } catch (const EUsageError &E) {
    std::fprintf(stderr, "korvane-convert: %s\n%s", E.what(), UsageText());
    Status = 2;
    if (Json) PrintJsonError(E.what(), Status);
  } catch (const std::exception &E) {
    std::fprintf(stderr, "korvane-convert: %s\n", E.what());
    Status = 1;
    if (Json) PrintJsonError(E.what(), Status);
  }
  korvane::RestoreFloatingPointControl();
  return Status;
}
