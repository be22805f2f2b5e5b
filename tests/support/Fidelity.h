// SPDX-License-Identifier: GPL-3.0-or-later
// How true an output is to its source, measured with the ffmpeg and ffprobe
// programs: which source picture every output frame shows and when, where
// the sound's marks fall against the pictures', sample counts, loudness and
// picture quality.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane::test {

// The ffmpeg input arguments of a marked clip: its pictures carry their own
// number (ten bars across the top, one bit each) and an eleventh bar lit
// during the first tenth of every second; its sound is a 1 kHz tone during
// the first tenth of every second. Background "" gives bars over the whole
// picture; a lavfi source name ("testsrc2") puts them on a moving scene.
// The tone is in every channel of Layout.
std::string MarkedClipInputs(const std::string &Rate, double Seconds, const std::string &Size,
                             const std::string &Background = "", const std::string &Layout = "stereo");

// A WAV file of Samples 16-bit mono samples (a square wave) whose header
// claims Rate samples a second.
void WriteClaimedRateWav(const std::string &File, int Rate, int Samples);

// One decoded picture of a marked clip: its time (seconds from the start of
// the file), the number it carries (-1 when unreadable) and the mark bar.
struct TShownPicture {
  double Time = 0;
  int Number = -1;
  bool Mark = false;
};
std::vector<TShownPicture> ShownPictures(const std::string &File);

// Every output frame against the source picture whose interval covers the
// frame's time, counting output times from the output's first picture.
struct TTimingReport {
  int Frames = 0;             // output frames whose number could be read
  int Unread = 0;             // output frames whose number could not (or names a picture over 1 s away)
  int WorstPicturesOff = 0;   // largest distance, in pictures, to the covering one
  double MeanFrameError = 0;  // mean distance of a frame's time to the shown picture's interval, in frames
  // Per source picture shown: when it first appears minus its own time,
  // milliseconds (negative: shown early). Mean and the largest in size.
  double MeanOffsetMs = 0, WorstOffsetMs = 0;
  int EarlyPictures = 0;  // shown more than half a frame before their time
};
TTimingReport CompareTiming(const std::vector<TShownPicture> &Source,
                            const std::vector<TShownPicture> &Output, double FrameDuration);

// Where the marks start, seconds from the start of the file: pictures with
// the mark bar after one without, and the tone after a pause.
std::vector<double> PictureMarks(const std::vector<TShownPicture> &Pictures);
std::vector<double> ToneMarks(const std::string &File);
// Tone minus picture over the marks that pair up (within 0.5 s), milliseconds.
struct TMarkOffsets {
  int Pairs = 0;
  double MeanMs = 0, WorstMs = 0;
};
TMarkOffsets MarkOffsets(const std::vector<double> &Tones, const std::vector<double> &Pictures);

// Samples per channel of the first audio stream as decoded, at its own rate.
int64_t DecodedSamples(const std::string &File);
// Integrated loudness of the first audio stream, LUFS.
double IntegratedLoudness(const std::string &File);
// Per-channel RMS levels of the first audio stream, dB (very low for silence).
std::vector<double> ChannelLevels(const std::string &File);
// The largest sample of the first audio stream in its last Seconds, against full scale (0 to 1).
double PeakAtEnd(const std::string &File, double Seconds);

// Average PSNR (dB) and SSIM of the video of File against Reference, frame
// by frame from their starts.
struct TPictureQuality {
  double Psnr = 0, Ssim = 0;
};
TPictureQuality PictureQuality(const std::string &File, const std::string &Reference);

}  // namespace korvane::test
