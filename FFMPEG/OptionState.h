// SPDX-License-Identifier: GPL-3.0-or-later
// The complete option state of one conversion task. The task's option
// setters write it before the run; the transcode stages read it (and write
// its statistics) during the run, always from the task's own thread, so it
// needs no lock. Defaults are the member initialisers: a fresh value is the
// reset state.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AVHolders.h"
#include "FrameHook.h"
#include "OutputClaims.h"
#include "TrackChoice.h"

namespace korvane {

// The engine's limit on files per task and streams per file.
inline constexpr int MaxFiles = 20;
inline constexpr int MaxStreams = 20;
// The most codec threads a task may ask for (x264's own limit).
inline constexpr int MaxCodecThreads = 128;

// Media types in the library's order; the index of each per-type table.
inline constexpr int MediaTypeCount = 5;  // video, audio, data, subtitle, attachment

struct TStreamMap {
  int32_t FileIndex = 0;
  int32_t StreamIndex = 0;
  int32_t SyncFileIndex = 0;
  int32_t SyncStreamIndex = 0;
};

struct TMetaDataMap {
  int32_t OutFile = 0;
  int32_t InFile = 0;
};

// A span of output time, microseconds, in which frame-hook plug-ins run.
struct TTimeRange {
  int64_t Start = 0;
  int64_t End = 0;
};

// How the video path decides whether the frame-hook plug-ins run on a picture.
enum class THookChoice {
  TimeRanges,  // inside the time ranges (all the time when there are none)
  BeforeHook,  // the before-hook event decides
  CustomHook,  // the custom-hook event gets the picture
};

// The sides of a picture that crops and pads apply to.
enum TSide { sdTop, sdBottom, sdLeft, sdRight };

struct TFileCloser {
  void operator()(FILE *File) const;  // closes with the utility library
};
using TFileHolder = std::unique_ptr<FILE, TFileCloser>;

// A quantiser matrix of 64 coefficients.
using TMatrix = std::array<uint16_t, 64>;

// An input stream by its file and its number there; File -1 for none.
struct TStreamRef {
  int File = -1;
  int Stream = -1;
};

// A stream of an output file as created before the run: the encoder
// context with its settings (opened at the run), or the parameter carrier of
// a stream copy, and the input stream it was made for (none: the run maps
// it to the first free input stream of its media type).
struct TOutputStreamSetup {
  TCodecHolder Encoder;
  bool StreamCopy = false;
  TStreamRef Source;
};

// Which streams an output gets.
enum class TStreamPlan {
  OnePerType,  // one video, one audio and one subtitle stream at most
  EveryTrack,  // the picture, every audio and subtitle track, attachments; tags and chapters kept
  CopyAll,     // a copy of every stream the container can carry; tags and chapters kept
};

struct TOptionState {
  // Files
  std::array<TInputFormatHolder, MaxFiles> FInputFiles;
  std::array<int64_t, MaxFiles> FInputFilesTSOffset{};  // microseconds
  std::array<int64_t, MaxFiles> FInputFilesStart{};     // where each was started ("ss"), microseconds
  std::array<std::array<double, MaxStreams>, MaxFiles> FInputFilesTSScale{};
  int FInputFileCount = 0;
  std::array<TOutputFormatHolder, MaxFiles> FOutputFiles;
  int FOutputFileCount = 0;
  std::array<TStreamMap, MaxStreams> FStreamMaps{};
  int FStreamMapCount = 0;
  std::array<TMetaDataMap, MaxFiles> FMetaDataMaps{};
  int FMetaDataMapCount = 0;
  // The decoder context of every stream of every input, made when the input
  // is opened; and the encoder side of every stream of every output.
  std::array<std::vector<TCodecHolder>, MaxFiles> FInputCodecs;
  std::array<std::vector<TOutputStreamSetup>, MaxFiles> FOutputStreams;
  // Set when a run fails: its outputs are incomplete and are deleted when
  // the task is cleared, so none is left looking like a finished file.
  bool FDiscardOutputs = false;
  // The file each output writes (claimed while the task has it), so that
  // clearing removes nothing but that file.
  std::array<TFileIdentity, MaxFiles> FOutputIdentities{};
  // Whether each input is read at its own pace (rate emulation).
  std::array<bool, MaxFiles> FInputRateEmu{};
  const AVInputFormat *FInputFormat = nullptr;
  const AVOutputFormat *FOutputFormat = nullptr;

  // Picture
  int FFrameWidth = 0;  // 0: the source size
  int FFrameHeight = 0;
  float FFrameAspectRatio = 0;
  int FFramePixFmt = -1;  // AV_PIX_FMT_NONE
  // The pixel format of sources of more than 8 bits per sample and of HDR
  // kept as HDR, where the encoder takes it (option "deep_pix_fmt"); none:
  // FFramePixFmt for every source.
  int FDeepPixFmt = -1;
  // Whether HDR pictures (PQ, HLG) are tone-mapped to SDR BT.709 (option
  // "hdr" with "sdr"), or keep their light ("keep").
  bool FHdrToSdr = false;
  int FPadTop = 0, FPadBottom = 0, FPadLeft = 0, FPadRight = 0;
  std::array<int, 3> FPadColor{16, 128, 128};  // Y, U, V
  int FCropTop = 0, FCropBottom = 0, FCropLeft = 0, FCropRight = 0;
  // Whether decoded pictures are turned upright as their stream's display
  // matrix asks (option "autorotate"), before cropping, scaling and hooks.
  int FAutoRotate = 1;
  // Whether the last source opened is shown a quarter turn from how it is
  // stored, and the picture size its open left in FFrameWidth x
  // FFrameHeight (turned or not as FAutoRotate was then): an "autorotate"
  // line after the open turns that size and shape over while no other
  // size has been set.
  bool FSourceQuarterTurn = false;
  int FSourceWidth = 0, FSourceHeight = 0;
  // The shape of that source's pixels, exactly (turned as its size is);
  // 0/1 before a source with a picture is opened.
  AVRational FSourcePixelAspect{0, 1};

  // Limits and video coding
  std::array<int, 4> FMaxFrames{INT_MAX, INT_MAX, INT_MAX, INT_MAX};  // video, audio, data, subtitle
  AVRational FFrameRate{0, 0};                                        // 0/0: none
  float FVideoQScale = 0;
  std::optional<TMatrix> FIntraMatrix;
  std::optional<TMatrix> FInterMatrix;
  std::string FVideoRCOverride;
  int FVideoDisable = 0;
  int FVideoDiscard = 0;
  std::string FVideoCodecName;
  uint32_t FVideoCodecTag = 0;
  int FSameQuality = 0;
  int FDeinterlace = 0;
  int FTopFieldFirst = -1;
  int FMEThreshold = 0;
  int FIntraDCPrecision = 8;
  int FQPHist = 0;
  int FIntraOnly = 0;

  // Audio
  // The rate and the channels of new audio streams; 0 (the option value 0)
  // keeps each stream's source's own.
  int FAudioSampleRate = 44100;
  float FAudioQScale = -99999.0f;  // none
  int FAudioDisable = 0;
  int FAudioChannels = 2;
  std::string FAudioCodecName;
  uint32_t FAudioCodecTag = 0;
  std::string FAudioLanguage;

  // Which streams an output gets.
  TStreamPlan FStreamPlan = TStreamPlan::OnePerType;
  // Which of the first source's audio and subtitle tracks it gets, and the
  // subtitle track (1-based, 0: none) drawn into the picture instead.
  TTrackChoice FAudioTracks, FSubtitleTracks;
  int FBurnSubtitle = 0;

  // Subtitles
  int FSubtitleDisable = 0;
  std::string FSubtitleCodecName;
  std::string FSubtitleLanguage;

  // Muxing, seconds
  float FMuxPreload = 0.5f;
  float FMuxMaxDelay = 0.7f;

  // Time
  int64_t FRecordingTime = INT64_MAX;  // microseconds; no limit
  int64_t FStartTime = 0;              // microseconds
  int64_t FRecTimestamp = 0;           // Unix seconds
  int64_t FInputTSOffset = 0;          // microseconds
  int64_t FRecordingTimeMs = -1;       // the limit as last given, reported as the total duration

  // Tags
  std::string FTitle, FAuthor, FCopyright, FComment, FGenre, FAlbum;
  int FYear = 0;
  int FTrack = 0;

  // Diagnostics and passes
  int FHexDump = 0;
  int FPktDump = 0;
  int FDoPSNR = 0;
  int FDoPass = 0;
  std::string FPassLogFileName;

  // Stream copy and synchronisation
  int FAudioStreamCopy = 0;
  int FVideoStreamCopy = 0;
  int FSubtitleStreamCopy = 0;
  int FVideoSyncMethod = -1;
  int FAudioSyncMethod = 0;
  float FAudioDriftThreshold = 0.1f;  // seconds
  int FCopyTS = 0;
  int FShortest = 0;
  int FVideoGlobalHeader = 0;
  std::string FVStatsFileName;
  TFileHolder FVStatsFile;
  int FProgramID = 0;
  int FRateEmu = 0;
  int FVideoChannel = 0;
  std::string FVideoStandard;
  int FAudioVolume = 256;
  int FUsingVHook = 0;
  int FVerbose = 1;
  int FKeepFileDate = 0;  // the outputs take the first source's modification time
  int FThreadCount = 0;   // codec threads; 0: the library picks frame and slice threads for the machine

  // The run's totals, summed from its streams at every progress report and
  // at the end: bytes of pictures, sound and global headers, pictures
  // repeated and dropped
  int64_t FVideoSize = 0;
  int64_t FAudioSize = 0;
  int64_t FExtraSize = 0;
  int FFramesDup = 0;
  int FFramesDrop = 0;

  // Further options
  int FInputSync = 0;
  int64_t FLimitFileSize = 0;  // bytes; 0: no limit
  int FPGMYUVHack = 0;
  float FDTSDeltaThreshold = 10.0f;  // seconds
  int FSwsFlags = 4;                 // bicubic

  // Library options set by name: the holders keep the values, FOptNames the
  // names set so far, to be copied into the real contexts when they exist.
  std::vector<std::string> FOptNames;
  std::array<TCodecContextHolder, MediaTypeCount> FCodecOptions;
  TFormatContextHolder FFormatOptions;
  TScalerHolder FScaleOptions;
  // Options that now live in one encoder or muxer rather than in the
  // generic contexts ("scan_offset" of MPEG-2 video, "muxrate" of MPEG
  // muxers): handed to the encoder or muxer when it is opened.
  std::array<std::map<std::string, std::string>, MediaTypeCount> FCodecPrivateOptions;
  std::map<std::string, std::string> FFormatPrivateOptions;

  // When the transcode started
  int64_t FTimerStart = 0;

  // Frame-hook plug-ins and when they run
  TFrameHookChain FFrameHooks;
  THookChoice FHookChoice = THookChoice::TimeRanges;
  std::vector<TTimeRange> FTimeRanges;  // sorted by end

  // The text of the last set-up failure reported without an exception
  std::string FErrorText;
};

}  // namespace korvane
