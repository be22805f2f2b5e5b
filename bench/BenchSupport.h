// SPDX-License-Identifier: GPL-3.0-or-later
// What the conversion benchmarks share: running a program as a child and
// measuring it (wall time, processor time, peak memory), medians over
// rounds, a profile's settings written for the ffmpeg program and for
// HandBrakeCLI, and the machine's state beside the figures.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "SourcePicture.h"

namespace korvane::bench {

// One run of a command: wall and processor seconds (user + system, its
// children included) and the largest resident memory of any process in it.
struct TMeasure {
  double Wall = 0, Processor = 0;
  long PeakKB = 0;
  bool Failed = false;
};

// Runs Command with /bin/sh -c (its output goes to /dev/null) and measures it.
TMeasure RunMeasured(const std::string &Command);

// The median of each figure over the rounds; failed when any round failed.
TMeasure Median(const std::vector<TMeasure> &Rounds);

// A profile's choices at their defaults, as the converter uses them on a
// source of the given size.
struct TSettings {
  bool NoVideo = false;      // an audio-only profile
  std::string VideoEncoder;  // the encoder the library knows ("libx264", "mpeg4")
  std::string FrameSize;     // "1280x720"; empty: the source's
  std::string FrameRate;     // "23.975"; empty: the source's
  int VideoKbps = 0;
  std::string AudioEncoder;
  int AudioKbps = 0, SampleRate = 0, Channels = 0;
};
// The settings for a source showing Source; false when no profile has
// that display text.
bool ProfileSettings(const std::string &Profile, const TSourcePicture &Source, TSettings &Settings);

// The same settings as arguments of the ffmpeg program (its threads left
// at its default: all cores).
std::string FFmpegArguments(const TSettings &S);
// The same settings as arguments of HandBrakeCLI (x264 preset "medium", no
// cropping or filters); empty when HandBrake has no such encoder.
std::string HandBrakeArguments(const TSettings &S);
bool HaveHandBrake();

// Makes a clip of Seconds at 1280x720, 25 fps, with 48 kHz stereo sound.
bool MakeClip(const std::string &File, int Seconds, int Tone = 440);

// For benchmarks that drive the engine in their own process: loads the
// media libraries beside the program and silences their log; false, with
// the reason on standard error, when they cannot be loaded.
bool LoadLibrariesBesideProgram();
// Processor time (user + system) used so far by Who (RUSAGE_SELF or
// RUSAGE_CHILDREN), in seconds.
double ProcessorSeconds(int Who);

// Single-quoted for the shell.
std::string Quoted(const std::string &Text);

// "2 cores, load 1.20 0.80 0.50" for the table's heading.
std::string MachineLine();

// One program's command in a comparison, and its measured rounds.
struct TRun {
  TRun(std::string AWho, std::string ACommand, bool APeer = false)
      : Who(std::move(AWho)), Command(std::move(ACommand)), Peer(APeer) {}
  std::string Who, Command;
  bool Peer;  // another program, measured against our first run
  std::vector<TMeasure> Rounds;
};

// Runs every command once per round, taking turns, so that a busy machine
// disturbs all alike.
void RunRounds(std::vector<TRun> &Runs, int Rounds);

// A result table: each run's median figures and, beside a peer's, our
// speed as a multiple of the peer's (above 1.0: we are faster).
void PrintHeading();
void PrintTable(const std::string &Case, const std::vector<TRun> &Runs, int SourceFrames);

}  // namespace korvane::bench
