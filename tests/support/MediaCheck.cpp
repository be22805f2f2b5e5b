// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaCheck.h"

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "TestEnvironment.h"

namespace korvane::test {

TCommandResult RunCommand(const std::string &Command, bool WithErrors) {
  TCommandResult Result;
  FILE *Pipe = popen((Command + (WithErrors ? " 2>&1" : "")).c_str(), "r");
  if (!Pipe) return Result;
  std::array<char, 4096> Buffer;
  for (size_t Read; (Read = fread(Buffer.data(), 1, Buffer.size(), Pipe)) > 0;)
    Result.Output.append(Buffer.data(), Read);
  const int Status = pclose(Pipe);
  Result.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  return Result;
}

std::vector<std::string> Lines(const std::string &Text) {
  std::vector<std::string> Result;
  for (size_t Start = 0; Start < Text.size();) {
    size_t End = Text.find('\n', Start);
    if (End == std::string::npos) End = Text.size();
    Result.push_back(Text.substr(Start, End - Start));
    Start = End + 1;
  }
  return Result;
}

const std::map<std::string, std::string> *TProbedFile::Stream(const std::string &Type) const {
  for (const auto &S : Streams)
    if (S.count("codec_type") && S.at("codec_type") == Type) return &S;
  return nullptr;
}

int TProbedFile::Count(const std::string &Type) const {
  int N = 0;
  for (const auto &S : Streams) N += S.count("codec_type") && S.at("codec_type") == Type;
  return N;
}

TProbedFile ProbeFile(const std::string &File, bool CountFrames) {
  TProbedFile Probed;
  const std::string Quoted = "'" + File + "'";
  const TCommandResult Flat =
      RunCommand(std::string("ffprobe -v error ") + (CountFrames ? "-count_frames " : "") +
                 "-show_format -show_streams -of flat " + Quoted + " 2>/dev/null");
  for (const std::string &Line : Lines(Flat.Output)) {
    const size_t Equal = Line.find('=');
    if (Equal == std::string::npos) continue;
    std::string Key = Line.substr(0, Equal), Value = Line.substr(Equal + 1);
    if (Value.size() >= 2 && Value.front() == '"') Value = Value.substr(1, Value.size() - 2);
    if (Key.rfind("format.", 0) == 0) {
      Probed.Format[Key.substr(7)] = Value;
    } else if (Key.rfind("streams.stream.", 0) == 0) {
      const size_t Dot = Key.find('.', 15);
      const size_t Index = std::stoul(Key.substr(15, Dot - 15));
      if (Probed.Streams.size() <= Index) Probed.Streams.resize(Index + 1);
      Probed.Streams[Index][Key.substr(Dot + 1)] = Value;
    }
  }
  Probed.Errors = RunCommand("ffprobe -v error " + Quoted, true).Output;
  return Probed;
}

std::string DecodeErrors(const std::string &File) {
  return RunCommand("ffmpeg -nostdin -v error -i '" + File + "' -f null -", true).Output;
}

double Number(const std::map<std::string, std::string> *Fields, const std::string &Key) {
  if (!Fields || !Fields->count(Key)) return -1;
  try {
    return std::stod(Fields->at(Key));
  } catch (...) {
    return -1;
  }
}

}  // namespace korvane::test

namespace korvane::test {

TStreamSpan StreamSpan(const std::string &File, const std::string &Type) {
  const std::string Selector = Type == "video" ? "v:0" : Type == "audio" ? "a:0" : "s:0";
  const TCommandResult Packets =
      RunCommand("ffprobe -v error -select_streams " + Selector +
                 " -show_entries packet=pts_time,duration_time -of csv=p=0 '" + File + "' 2>/dev/null");
  TStreamSpan Span;
  for (const std::string &Line : Lines(Packets.Output)) {
    double Pts = 0, Duration = 0;
    if (std::sscanf(Line.c_str(), "%lf,%lf", &Pts, &Duration) < 1) continue;
    Span.Start = std::min(Span.Start, Pts);
    Span.End = std::max(Span.End, Pts + Duration);
  }
  return Span;
}

std::string PictureTimeFaults(const std::string &File) {
  const TCommandResult Packets =
      RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=pts,dts -of csv=p=0 '" + File +
                 "' 2>/dev/null");
  // A time of the list, or none ("N/A").
  const auto Time = [](const std::string &Text, long long &Value) {
    char *End = nullptr;
    Value = std::strtoll(Text.c_str(), &End, 10);
    return End != Text.c_str() && *End == '\0';
  };
  std::string Faults;
  std::set<long long> Shown;
  long long LastDts = LLONG_MIN, Pts = 0, Dts = 0;
  int Packet = 0;
  for (const std::string &Line : Lines(Packets.Output)) {
    const size_t Comma = Line.find(',');
    if (Comma == std::string::npos) continue;
    const std::string At = " (packet " + std::to_string(Packet++) + ");";
    if (Time(Line.substr(Comma + 1), Dts)) {
      if (Dts <= LastDts)
        Faults += " decode time " + std::to_string(Dts) + " after " + std::to_string(LastDts) + At;
      LastDts = Dts;
    }
    if (Time(Line.substr(0, Comma), Pts) && !Shown.insert(Pts).second)
      Faults += " time " + std::to_string(Pts) + " twice" + At;
  }
  return Faults;
}

int X264Threads(const std::string &File) {
  const std::string Content = ReadFile(File);
  const size_t Settings = Content.find("x264 - core ");
  if (Settings == std::string::npos) return -1;
  const size_t Threads = Content.find(" threads=", Settings);
  if (Threads == std::string::npos) return -1;
  return std::atoi(Content.c_str() + Threads + 9);
}

}  // namespace korvane::test
