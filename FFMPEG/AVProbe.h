// SPDX-License-Identifier: GPL-3.0-or-later
// The media probe: opens one file, reads its stream information and answers
// what the file list shows about it. It never decodes a frame.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "AVHolders.h"

namespace korvane {

// Container facts of the open file.
struct TAVFileInfo {
  int64_t StartTime = -1;  // microseconds; the library's no-value marker when unknown
  int64_t Duration = -1;   // microseconds; the no-value marker when unknown
  int32_t BitRate = -1;    // bits per second, 0 when unknown
  int64_t Timestamp = -1;  // creation time, microseconds since 1970; 0 when not tagged
  std::array<char, 512> Title{};
  std::array<char, 512> Author{};
  std::array<char, 512> Copyright{};
  std::array<char, 512> Comment{};
  std::array<char, 512> Album{};
  int32_t Year = -1;   // 0 if not tagged
  int32_t Track = -1;  // 0 if not tagged
  std::array<char, 32> Genre{};
};

// Facts of one video stream. Height comes before Width.
struct TAVVideoStreamInfo {
  std::array<char, 4> Language{};
  std::array<char, 32> CodecName{};
  int64_t StartTime = -1;    // stream time base; no-value marker copied unchanged
  int64_t StartTimeUS = -1;  // microseconds, -1 when unknown
  int64_t Duration = -1;
  int64_t DurationUS = -1;
  int32_t BitRate = -1;
  int32_t Height = -1;
  int32_t Width = -1;
  float AspectRatio = -1.0f;  // display aspect ratio, 0 when the pixel shape is unknown
  int32_t PixelFormat = -1;
  int32_t FrameRateNum = -1;
  int32_t FrameRateDen = -1;
  // The quarter turn clockwise (0, 90, 180 or 270 degrees) that shows the
  // picture upright, as the stream's display matrix asks (a phone's clip
  // shot upright is stored lying on its side).
  int32_t Rotation = -1;
  // The transfer characteristic the stream states (AVCOL_TRC_*): PQ and HLG
  // mark high dynamic range pictures.
  int32_t ColorTransfer = -1;
};

class TAVProbe {
 public:
  // How long opening and reading the stream information of one file may take
  // before it is given up, so that a pathological input cannot stall the caller.
  static constexpr std::chrono::seconds ReadTimeLimit{15};

  TAVProbe() = default;
  ~TAVProbe() { CloseFile(); }
  TAVProbe(const TAVProbe &) = delete;
  TAVProbe &operator=(const TAVProbe &) = delete;

  // Opens FileName, forcing the input format AFormatName unless it is empty.
  // False with LastError set when it cannot; throws std::runtime_error when
  // the media libraries are not loaded.
  bool LoadFile(const std::string &FileName, const std::string &AFormatName);
  void CloseFile();
  void GetFileInfo(TAVFileInfo &Info) const;
  void GetVideoStreamInfo(TAVVideoStreamInfo &Info) const { GetVideoStreamInfo(-1, Info); }
  void GetVideoStreamInfo(int StreamIndex, TAVVideoStreamInfo &Info) const;

  // The text for a failed open: FileName followed by what the result code
  // means ("<name>: no such file or directory", "<name>: Unknown format", ...).
  // A code without a text of its own gives "<name>: Error while opening file"
  // with the library's description of the code in brackets, so that the
  // cause ("No space left on device", "Permission denied") is not lost.
  static std::string OpenErrorText(const std::string &FileName, int Code);
  // The library's description of a result code ("Permission denied").
  static std::string ErrorDescription(int Code);
  // The same for a failed open of an input: data no demuxer recognises by
  // its content is an unknown format, whatever its name says.
  static std::string InputOpenErrorText(const std::string &FileName, int Code, bool FormatForced);
  // Raises std::runtime_error naming the first binding unit that is not loaded.
  static void CheckAVLibraries();
  // The quarter turn clockwise (0, 90, 180, 270) that Stream's display
  // matrix asks for, read as the ffmpeg program reads it: the matrix's
  // counter-clockwise angle, negated, to the nearest quarter turn. 0 without
  // a matrix or with one that turns nothing.
  static int StreamRotation(const AVStream *Stream);
  // Whether Stream can be a file's film: a video stream with a picture
  // size that is not an attached picture (a cover).
  static bool MainPicture(const AVStream *Stream);
  // Whether Stream has what a decoder needs to begin: a known codec, and a
  // picture size or a sound's rate and channels. Damage makes demuxers
  // invent tracks without (a programme that declares a track that never
  // comes): they hold nothing to convert, write or measure.
  static bool HoldsMedia(const AVStream *Stream);
  // The stream a file's picture facts come from: its first main picture,
  // else -1. A song's cover is no film: the song has no picture facts.
  static int MainVideoStream(const AVFormatContext *Context);

  const std::string &LastError() const { return FLastError; }
  const std::string &FormatName() const { return FFormatName; }
  int StreamCount() const { return FStreamCount; }
  int ProgramCount() const { return FProgramCount; }
  int AudioStreamCount() const { return FAudioStreamCount; }
  int VideoStreamCount() const { return FVideoStreamCount; }
  int SubtitleStreamCount() const { return FSubtitleStreamCount; }
  int FirstAudioStream() const { return FFirstAudioStream; }
  // The main video stream (see MainVideoStream), never a cover; -1 for a
  // song with a cover.
  int FirstVideoStream() const { return FFirstVideoStream; }
  int FirstSubtitleStream() const { return FFirstSubtitleStream; }
  const AVFormatContext *FormatContext() const { return FFormatContext.get(); }

 private:
  void ScanStreams();
  static int InterruptRequested(void *Probe);

  TInputFormatHolder FFormatContext;
  std::string FLastError;
  std::string FFormatName;
  int FStreamCount = -1;
  int FProgramCount = -1;
  int FAudioStreamCount = -1;
  int FVideoStreamCount = -1;
  int FSubtitleStreamCount = -1;
  int FFirstAudioStream = -1;
  int FFirstVideoStream = -1;
  int FFirstSubtitleStream = -1;
  std::chrono::steady_clock::time_point FReadDeadline = std::chrono::steady_clock::time_point::max();
};

}  // namespace korvane
