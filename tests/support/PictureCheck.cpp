// SPDX-License-Identifier: GPL-3.0-or-later
#include "PictureCheck.h"

#include <cmath>
#include <limits>

#include "MediaCheck.h"

namespace korvane::test {

namespace {

double Value(const std::string &Text) {
  if (Text == "inf") return std::numeric_limits<double>::infinity();
  try {
    return std::stod(Text);
  } catch (...) {
    return std::nan("");
  }
}

}  // namespace

std::vector<TFrameStats> FrameSignalStats(const std::string &File, const std::string &Filter) {
  const std::string Chain = (Filter.empty() ? "" : Filter + ",") + "signalstats,metadata=print:file=-";
  const TCommandResult Printed =
      RunCommand("ffmpeg -nostdin -v error -i '" + File + "' -an -vf '" + Chain + "' -f null - 2>/dev/null");
  std::vector<TFrameStats> Frames;
  const std::string Prefix = "lavfi.signalstats.";
  for (const std::string &Line : Lines(Printed.Output)) {
    if (Line.rfind("frame:", 0) == 0) {
      Frames.emplace_back();
    } else if (Line.rfind(Prefix, 0) == 0 && !Frames.empty()) {
      const size_t Equal = Line.find('=');
      if (Equal != std::string::npos)
        Frames.back()[Line.substr(Prefix.size(), Equal - Prefix.size())] = Value(Line.substr(Equal + 1));
    }
  }
  return Frames;
}

std::map<std::string, double> PictureDistance(const std::string &File, const std::string &Reference,
                                              const std::string &ReferenceFilter) {
  const std::string Graph =
      "[1:v]" + (ReferenceFilter.empty() ? "null" : ReferenceFilter) + "[r];[0:v][r]psnr";
  const TCommandResult Run = RunCommand("ffmpeg -nostdin -hide_banner -v info -i '" + File + "' -i '" +
                                            Reference + "' -lavfi '" + Graph + "' -f null -",
                                        true);
  std::map<std::string, double> Planes;
  const size_t At = Run.Output.rfind("PSNR ");
  if (At == std::string::npos) return Planes;
  const std::string Line = Run.Output.substr(At + 5, Run.Output.find('\n', At) - At - 5);
  for (size_t Start = 0; Start < Line.size();) {
    size_t End = Line.find(' ', Start);
    if (End == std::string::npos) End = Line.size();
    const std::string Item = Line.substr(Start, End - Start);
    if (const size_t Colon = Item.find(':'); Colon != std::string::npos)
      Planes[Item.substr(0, Colon)] = Value(Item.substr(Colon + 1));
    Start = End + 1;
  }
  return Planes;
}

}  // namespace korvane::test
