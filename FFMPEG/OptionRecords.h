// SPDX-License-Identifier: GPL-3.0-or-later
// The two records through which an application describes a conversion: the
// source (TInputOptions) and the target (TOutputOptions). Each field keeps
// its initial value unless the application sets it; a field at its initial
// value leaves the task's option state alone when the record is applied.
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

struct TInputOptions {
  std::string FileName;    // empty: the file name given to the add call
  std::string FileFormat;  // forced input format short name; empty: detect
  int32_t StartTime = -1;  // milliseconds; applied when positive
  int32_t ProgramID = -1;  // program to keep; applied when 0 or more
  std::string ExtOptions;  // extra "name=value" lines
};

// Target preset types and norms of TOutputOptions.
enum TTargetType : int32_t { ttNone = 0, ttVCD = 1, ttSVCD = 2, ttDVD = 3 };
enum TTargetNorm : int32_t { tnAuto = 0, tnPAL = 1, tnNTSC = 2 };

struct TOutputOptions {
  std::string FileName;      // empty: the file name given to the add call
  std::string FileFormat;    // forced output format
  int32_t PacketSize = -1;   // > 0: "packetsize"
  int32_t MuxRate = -1;      // > 0: "muxrate"
  float MuxDelay = -1.0f;    // seconds; > 0
  float MuxPreload = -1.0f;  // seconds; > 0
  std::string AudioCodec;    // encoder name or "copy"
  bool AudioDisable = false;
  int32_t AudioVolume = -1;      // >= 0; 256 leaves the volume unchanged
  int32_t AudioChannels = -1;    // > 0
  int32_t AudioSampleRate = -1;  // Hz; > 0
  int32_t AudioBitrate = -1;     // bit/s; > 0
  int32_t AudioBitrateTolerance = -1;
  std::string AudioLanguage;    // always applied
  int32_t AudioSyncMethod = 0;  // always applied
  std::string AudioTag;         // exactly 4 characters when set
  std::string VideoCodec;       // encoder name or "copy"
  bool VideoDisable = false;
  std::string FrameRate;                                                 // "25", "30000/1001", "ntsc", ...
  std::string FrameSize;                                                 // "640x480", "vga", ...
  std::string FrameAspectRatio;                                          // "4:3", "1.7777", ...
  int32_t CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;  // >= 0
  int32_t PadTop = -1, PadBottom = -1, PadLeft = -1, PadRight = -1;      // >= 0
  uint32_t PadColor = 0;                                                 // 0x00BBGGRR; always applied
  int32_t GOPSize = -1;                                                  // > 0
  int32_t VideoBitrate = -1;                                             // bit/s; > 0
  int32_t VideoMaxRate = -1;
  int32_t VideoMinRate = -1;
  int32_t VideoBitrateTolerance = -1;
  int32_t VideoBufSize = -1;
  int32_t VideoSyncMethod = -1;  // always applied
  std::string VideoTag;          // exactly 4 characters when set
  bool SubtitleDisable = false;
  std::string SubtitleLanguage;                          // always applied
  bool CopyTS = false;                                   // always applied
  int32_t RecordingTime = -1;                            // milliseconds; > 0: maximum output duration
  double Timestamp = -1.0;                               // local date-time in days since 1899-12-30; 0: now
  int32_t Year = -1;                                     // > 0
  int32_t Track = -1;                                    // > 0
  std::string Title, Author, Copyright, Comment, Album;  // non-empty replaces the tag
  std::string Genre;
  int32_t Target = ttNone;             // 1 vcd, 2 svcd, 3 dvd; else no preset
  int32_t TargetNorm = tnAuto;         // 1 pal, 2 ntsc, else auto
  int32_t TargetFallbackNorm = tnPAL;  // 1 pal, else ntsc
  bool CustomHook = false;
  bool BeforeHook = false;
  std::string TimeRanges;  // "start-end,..." in milliseconds, for frame-hook plug-ins
  std::string ExtOptions;  // extra "name=value" lines
  // >= 0: the codecs' thread count (0: the library's choice), for files
  // converted side by side; a "threads" line of ExtOptions still wins.
  int32_t CodecThreads = -1;
};

}  // namespace korvane
