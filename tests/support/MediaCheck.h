// SPDX-License-Identifier: GPL-3.0-or-later
// An independent look at produced files through the ffprobe and ffmpeg
// programs.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace korvane::test {

// Runs Command with the shell; its standard output (and standard error when
// asked) as text, and the exit status.
struct TCommandResult {
  int Status = -1;
  std::string Output;
};
TCommandResult RunCommand(const std::string &Command, bool WithErrors = false);

// The lines of Text, without their line ends.
std::vector<std::string> Lines(const std::string &Text);

// What ffprobe says of a file: the format's fields ("format.duration") and
// every stream's ("codec_type", "codec_name", "width", "nb_read_frames", ...).
struct TProbedFile {
  std::map<std::string, std::string> Format;
  std::vector<std::map<std::string, std::string>> Streams;
  std::string Errors;  // what ffprobe complained about; empty for a sound file
  // The first stream of a type ("video", "audio", "subtitle"), or none.
  const std::map<std::string, std::string> *Stream(const std::string &Type) const;
  int Count(const std::string &Type) const;
};
TProbedFile ProbeFile(const std::string &File, bool CountFrames = false);

// Decodes the whole file with the ffmpeg program; what it complained about.
std::string DecodeErrors(const std::string &File);

double Number(const std::map<std::string, std::string> *Fields, const std::string &Key);

}  // namespace korvane::test

namespace korvane::test {

// Where the packets of the first stream of Type ("video", "audio") begin and
// end in File, seconds: the least presentation time and the greatest
// presentation time plus duration.
struct TStreamSpan {
  double Start = 1e9, End = -1e9;
};
TStreamSpan StreamSpan(const std::string &File, const std::string &Type);

// What is wrong with the times of the picture packets of File (its first
// video stream), as players and decoders read them: a decode time that
// does not rise, or a presentation time that comes twice. Empty when
// nothing is.
std::string PictureTimeFaults(const std::string &File);

// The thread count x264 wrote into the settings it keeps in its stream
// (" threads=N "); -1 when File carries none.
int X264Threads(const std::string &File);

}  // namespace korvane::test
