// What the conversion benchmarks share: the media libraries from "Common
// Files" beside the program, a 720p clip made with the ffmpeg program, and
// processor time.
#pragma once

#include <string>

namespace korvane::bench {

// Loads the media libraries beside the program and silences their log;
// false, with the reason on standard error, when they cannot be loaded.
bool LoadLibrariesBesideProgram();

// Makes File: Seconds of a 1280x720 test picture at 25 fps in H.264, with
// the ffmpeg arguments Audio (a sound input and its codec) when given.
bool Make720pClip(const std::string &File, int Seconds, const std::string &Audio = "");

// Processor time (user + system) used so far by Who (RUSAGE_SELF or
// RUSAGE_CHILDREN), in seconds.
double ProcessorSeconds(int Who);

}  // namespace korvane::bench
