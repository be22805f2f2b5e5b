// SPDX-License-Identifier: GPL-3.0-or-later
#include "Fidelity.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>

#include "MediaCheck.h"
#include "MediaMutations.h"

namespace korvane::test {

namespace {

constexpr int Bits = 10;  // bars carrying the picture's number; one more carries the mark

std::string Quote(const std::string &File) { return "'" + File + "'"; }

double FirstNumber(const std::string &Text, const std::string &Pattern) {
  std::smatch Match;
  return std::regex_search(Text, Match, std::regex(Pattern)) ? std::stod(Match[1]) : NAN;
}

// The first audio stream decoded to 16-bit mono samples, at Rate where it
// is given, else at the stream's own rate.
std::vector<int16_t> DecodedMono(const std::string &File, int Rate = 0) {
  const std::string Resample = Rate > 0 ? " -ar " + std::to_string(Rate) : "";
  const std::string Raw = RunCommand("ffmpeg -nostdin -v error -i " + Quote(File) + " -map 0:a:0 -ac 1" +
                                     Resample + " -f s16le -")
                              .Output;
  std::vector<int16_t> Samples(Raw.size() / 2);
  std::copy_n(Raw.data(), Samples.size() * 2, reinterpret_cast<char *>(Samples.data()));
  return Samples;
}

// The first audio stream as 16-bit mono samples at Rate, and where it starts
// in the file (seconds after the file's start).
std::vector<int16_t> MonoSamples(const std::string &File, int Rate, double &Start) {
  const std::vector<std::string> Starts = Lines(
      RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=start_time:format=start_time "
                 "-of csv=p=0 " +
                 Quote(File))
          .Output);
  Start = Starts.size() >= 2 ? std::atof(Starts[0].c_str()) - std::atof(Starts[1].c_str()) : 0;
  return DecodedMono(File, Rate);
}

}  // namespace

std::string MarkedClipInputs(const std::string &Rate, double Seconds, const std::string &Size,
                             const std::string &Background, const std::string &Layout) {
  const std::string Length = std::to_string(Seconds);
  const std::string Bars =
      "geq=lum='if(lt(floor(X*11/W)\\,10)\\,if(bitand(N\\,pow(2\\,floor(X*11/W)))\\,235\\,16)\\,"
      "if(lt(mod(T\\,1)\\,0.099)\\,235\\,16))':cb=128:cr=128";
  std::string Pictures;
  if (Background.empty()) {
    Pictures = "color=c=black:s=" + Size + ":r=" + Rate + ":d=" + Length + ",format=yuv420p," + Bars;
  } else {
    const size_t X = Size.find('x');
    const int Width = std::atoi(Size.c_str()), Height = std::atoi(Size.c_str() + X + 1);
    const std::string Strip = std::to_string(Width) + "x" + std::to_string(Height / 8 * 2);
    Pictures = Background + "=s=" + Size + ":r=" + Rate + ":d=" + Length +
               "[scene];color=c=black:s=" + Strip + ":r=" + Rate + ":d=" + Length + ",format=yuv420p," +
               Bars + "[bars];[scene][bars]overlay=0:0[out0]";
  }
  return "-f lavfi -i \"" + Pictures +
         "\" -f lavfi -i \"aevalsrc='if(lt(mod(t\\,1)\\,0.1)\\,0.5*sin(2*PI*1000*t)\\,0)'" + ":c=" + Layout +
         ":s=48000:d=" + Length + "\"";
}

void WriteClaimedRateWav(const std::string &File, int Rate, int Samples) {
  std::ofstream Out(File, std::ios::binary);
  const uint32_t Size = static_cast<uint32_t>(Samples) * 2;
  const uint32_t Hz = static_cast<uint32_t>(Rate);
  Out << "RIFF" << LittleEndian(36 + Size, 4) << "WAVEfmt " << LittleEndian(16, 4) << LittleEndian(1, 2)
      << LittleEndian(1, 2) << LittleEndian(Hz, 4) << LittleEndian(Hz * 2, 4) << LittleEndian(2, 2)
      << LittleEndian(16, 2) << "data" << LittleEndian(Size, 4);
  for (int I = 0; I < Samples; ++I) Out << LittleEndian(static_cast<uint16_t>(I % 2 ? 8000 : -8000), 2);
}

std::vector<TShownPicture> ShownPictures(const std::string &File) {
  double Start = 0;
  std::vector<std::string> Times;
  for (const std::string &Line :
       Lines(RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                        "format=start_time:frame=best_effort_timestamp_time -of csv " +
                        Quote(File))
                 .Output)) {
    if (Line.rfind("frame,", 0) == 0) Times.push_back(Line.substr(6));
    if (Line.rfind("format,", 0) == 0) Start = std::atof(Line.c_str() + 7);
  }
  const std::string Raw =
      RunCommand("ffmpeg -nostdin -v error -i " + Quote(File) +
                 " -map 0:v:0 -fps_mode passthrough -vf crop=iw:ih/16:0:0,scale=11:1:flags=area,format=gray "
                 "-f rawvideo -")
          .Output;
  std::vector<TShownPicture> Pictures;
  for (size_t I = 0; I < Times.size() && (I + 1) * 11 <= Raw.size(); ++I) {
    if (Times[I].empty()) continue;
    TShownPicture P;
    P.Time = std::atof(Times[I].c_str()) - Start;
    P.Number = 0;
    for (int B = 0; B < Bits; ++B) {
      const int Luma = static_cast<unsigned char>(Raw[I * 11 + static_cast<size_t>(B)]);
      if (Luma > 100 && Luma < 150) P.Number = -1;  // between the two levels: not a bar
      if (P.Number >= 0 && Luma >= 128) P.Number |= 1 << B;
    }
    P.Mark = static_cast<unsigned char>(Raw[I * 11 + Bits]) >= 128;
    Pictures.push_back(P);
  }
  return Pictures;
}

TTimingReport CompareTiming(const std::vector<TShownPicture> &Source,
                            const std::vector<TShownPicture> &Output, double FrameDuration) {
  TTimingReport Report;
  std::map<int, size_t> Position;  // source picture by its number
  for (size_t I = 0; I < Source.size(); ++I) Position.emplace(Source[I].Number, I);
  std::map<size_t, double> FirstShown;
  double ErrorSum = 0;
  // Output times count from the output's first picture, which shows the
  // source from its start: a container that starts its sound a little
  // before its pictures does not move them (the marks measure that).
  const double Origin = Output.empty() ? 0 : Output.front().Time;
  for (TShownPicture Frame : Output) {
    Frame.Time -= Origin;
    const auto Found = Position.find(Frame.Number);
    // A number that names no picture, or one more than a second away, is
    // taken for a code the encoder blurred.
    if (Frame.Number < 0 || Found == Position.end() ||
        std::fabs(Source[Found->second].Time - Frame.Time) > 1) {
      ++Report.Unread;
      continue;
    }
    ++Report.Frames;
    // The covering picture: the last one starting at the frame's time or before (a
    // millisecond of rounding allowed); before the first picture, the first.
    size_t Covering = 0;
    while (Covering + 1 < Source.size() && Source[Covering + 1].Time <= Frame.Time + 0.001) ++Covering;
    const size_t Shown = Found->second;
    Report.WorstPicturesOff = std::max(
        Report.WorstPicturesOff, static_cast<int>(std::max(Shown, Covering) - std::min(Shown, Covering)));
    const double Begin = Shown == 0 ? -1e9 : Source[Shown].Time;
    const double End = Shown + 1 < Source.size() ? Source[Shown + 1].Time : 1e9;
    if (Frame.Time + 0.001 < Begin) ErrorSum += (Begin - Frame.Time) / FrameDuration;
    if (Frame.Time > End + 0.001) ErrorSum += (Frame.Time - End) / FrameDuration;
    FirstShown.emplace(Shown, Frame.Time);
  }
  if (Report.Frames > 0) Report.MeanFrameError = ErrorSum / Report.Frames;
  double OffsetSum = 0;
  for (const auto &[Shown, Time] : FirstShown) {
    if (Shown == 0) continue;  // the first picture is held from the start
    const double Offset = (Time - Source[Shown].Time) * 1000;
    OffsetSum += Offset;
    if (std::fabs(Offset) > std::fabs(Report.WorstOffsetMs)) Report.WorstOffsetMs = Offset;
    Report.EarlyPictures += Offset < -(FrameDuration * 500 + 1);
  }
  if (FirstShown.size() > 1) Report.MeanOffsetMs = OffsetSum / static_cast<double>(FirstShown.size() - 1);
  return Report;
}

std::vector<double> PictureMarks(const std::vector<TShownPicture> &Pictures) {
  std::vector<double> Marks;
  for (size_t I = 0; I < Pictures.size(); ++I)
    if (Pictures[I].Mark && (I == 0 || !Pictures[I - 1].Mark)) Marks.push_back(Pictures[I].Time);
  return Marks;
}

std::vector<double> ToneMarks(const std::string &File) {
  constexpr int Rate = 48000;
  double Start = 0;
  const std::vector<int16_t> Samples = MonoSamples(File, Rate, Start);
  std::vector<double> Marks;
  int Quiet = Rate;  // samples since the last loud one
  for (size_t I = 0; I < Samples.size(); ++I) {
    if (std::abs(Samples[I]) < 2000) {
      ++Quiet;
      continue;
    }
    // A 1 kHz tone rises within a quarter period: its onset is a quarter
    // period before the first loud sample at most.
    if (Quiet > Rate / 4) Marks.push_back(Start + static_cast<double>(I) / Rate);
    Quiet = 0;
  }
  return Marks;
}

TMarkOffsets MarkOffsets(const std::vector<double> &Tones, const std::vector<double> &Pictures) {
  TMarkOffsets Offsets;
  double Sum = 0;
  for (const double Tone : Tones) {
    double Nearest = 1e9;
    for (const double Picture : Pictures)
      if (std::fabs(Tone - Picture) < std::fabs(Nearest)) Nearest = Tone - Picture;
    if (std::fabs(Nearest) > 0.5) continue;
    ++Offsets.Pairs;
    Sum += Nearest * 1000;
    if (std::fabs(Nearest * 1000) > std::fabs(Offsets.WorstMs)) Offsets.WorstMs = Nearest * 1000;
  }
  if (Offsets.Pairs > 0) Offsets.MeanMs = Sum / Offsets.Pairs;
  return Offsets;
}

int64_t DecodedSamples(const std::string &File) { return static_cast<int64_t>(DecodedMono(File).size()); }

double IntegratedLoudness(const std::string &File) {
  const std::string Text = RunCommand("ffmpeg -nostdin -v info -i " + Quote(File) +
                                          " -map 0:a:0 -af ebur128=framelog=verbose -f null -",
                                      true)
                               .Output;
  return FirstNumber(Text, "I:\\s+(-?[0-9.]+) LUFS");
}

std::vector<double> ChannelLevels(const std::string &File) {
  const std::string Text =
      RunCommand("ffmpeg -nostdin -v info -i " + Quote(File) +
                     " -map 0:a:0 -af astats=measure_overall=none:measure_perchannel=RMS_level "
                     "-f null -",
                 true)
          .Output;
  std::vector<double> Levels;
  const std::regex Level("RMS level dB: (-?[0-9.]+|-inf)");
  for (auto It = std::sregex_iterator(Text.begin(), Text.end(), Level); It != std::sregex_iterator(); ++It)
    Levels.push_back((*It)[1] == "-inf" ? -200.0 : std::stod((*It)[1]));
  return Levels;
}

double PeakAtEnd(const std::string &File, double Seconds) {
  const std::vector<int16_t> Samples = DecodedMono(File);
  const std::string Rate = RunCommand(
                               "ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate "
                               "-of csv=p=0 " +
                               Quote(File))
                               .Output;
  const size_t Count = Samples.size();
  const size_t Tail = std::min(Count, static_cast<size_t>(Seconds * std::atof(Rate.c_str())));
  int Peak = 0;
  for (size_t I = Count - Tail; I < Count; ++I) Peak = std::max(Peak, std::abs(static_cast<int>(Samples[I])));
  return Peak / 32768.0;
}

TPictureQuality PictureQuality(const std::string &File, const std::string &Reference) {
  const std::string Text =
      RunCommand("ffmpeg -nostdin -v info -i " + Quote(File) + " -i " + Quote(Reference) +
                     " -lavfi \"[0:v]setpts=PTS-STARTPTS,split[a][b];[1:v]setpts=PTS-STARTPTS,split[c][d];"
                     "[a][c]psnr;[b][d]ssim\" -f null -",
                 true)
          .Output;
  return {FirstNumber(Text, "average:([0-9.]+|inf)"), FirstNumber(Text, "All:([0-9.]+)")};
}

}  // namespace korvane::test
