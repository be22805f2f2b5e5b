#include "BenchSupport.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

#include "AVLibraries.h"
#include "ProgramFolder.h"

namespace korvane::bench {

bool LoadLibrariesBesideProgram() {
  if (!LoadAVLibraries(ProgramFolder() + "/Common Files", true)) {
    std::fprintf(stderr, "%s\n", AVLibrariesError().c_str());
    return false;
  }
  SetLibraryLogLevel(-1);
  return true;
}

bool Make720pClip(const std::string &File, int Seconds, const std::string &Audio) {
  const std::string Command =
      "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=" +
      std::to_string(Seconds) + " " + Audio + " -c:v libx264 -preset veryfast -crf 23 '" + File + "'";
  return std::system(Command.c_str()) == 0;
}

double ProcessorSeconds(int Who) {
  rusage Usage{};
  getrusage(Who, &Usage);
  return static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) +
         static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace korvane::bench
