// A conversion task: its option state, the operations that reset, prepare
// and clear it, the option dispatcher and the typed option setters.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>

#include "FFMpegException.h"
#include "OptionRecords.h"
#include "OptionState.h"

namespace korvane {

class TCustomFFmpeg;

// Receives the task's log lines: the task, the level on the engine scale
// (-1 quiet .. 3 all) and the text.
using TTaskLogCallback = std::function<void(TCustomFFmpeg &Task, int Level, const std::string &Text)>;

// One progress report of a running task.
struct TProgressInfo {
  int32_t FrameNumber = -1;         // frames of the first video output; -1 without video
  int32_t FPS = -1;                 // average encoding speed; -1 without video
  int32_t CurrentDuration = 0;      // output time so far, milliseconds
  float Quality = -1.0f;            // quantiser of the last coded video frame
  float BitRate = 0;                // kbit/s so far
  int64_t CurrentSize = 0;          // bytes of the first output so far
  int32_t TotalOutputDuration = 0;  // expected output duration, milliseconds
};
using TTaskProgressCallback = std::function<void(TCustomFFmpeg &Task, const TProgressInfo &Info)>;

// Disc and camera formats a target preset can set up.
enum class TTargetPreset { VCD, SVCD, DVD, DV, DV50 };
// Television norms of a target preset; Auto decides from the frame rate.
enum class TNorm { PAL, NTSC, Film, Auto };

class TCustomFFmpeg {
 public:
  TCustomFFmpeg();
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg &) = delete;
  TCustomFFmpeg &operator=(const TCustomFFmpeg &) = delete;

  // Every option back to its default (the holders are released with it).
  void ResetOptions();
  // A fresh task: clears, resets, and makes the library option holders.
  void PrepareOptions();
  // Releases every library object, file and plug-in the options hold.
  void ClearOptions();

  // Applies one option by name and text value. Raises FFMpegException (or
  // EConvertError for malformed numbers) on invalid values; names the
  // engine does not know go to SetGenericOption.
  void SetOption(const std::string &Name, const std::string &Value);
  // Sets a library option by name in the holder it belongs to; false when no
  // holder knows it or the value does not fit.
  bool SetGenericOption(const std::string &Name, const std::string &Value);
  bool SetGenericOption(const std::string &Name, int64_t Value);

  // The typed setters behind the dispatcher and the option records.
  void SetFormat(const std::string &Name);        // input and output
  void SetInputFormat(const std::string &Name);   // input side only
  void SetOutputFormat(const std::string &Name);  // output side only
  void SetFrameRate(const std::string &Text);
  void SetFrameSize(const std::string &Text);
  void SetFrameAspectRatio(const std::string &Text);
  void SetPixelFormat(const std::string &Name);
  void SetCrop(TSide Side, int Value);
  void SetPad(TSide Side, int Value);
  void SetPadColor(uint32_t Color);  // 0x00BBGGRR
  void SetQScale(double Value);
  void SetBitrate(const std::string &Name, const std::string &Value);
  void SetCodecName(AVMediaType Type, const std::string &Name);
  void SetCodecTag(AVMediaType Type, const std::string &Tag);
  void SetRecordingTime(const std::string &OptionName, const std::string &Text);
  void SetRecordingTimeMs(int64_t Milliseconds);
  void SetStartTime(const std::string &OptionName, const std::string &Text);
  void SetInputTSOffset(const std::string &OptionName, const std::string &Text);
  void SetRecTimestamp(const std::string &OptionName, const std::string &Text);
  void AddStreamMap(const std::string &Text);
  void AddMetaDataMap(const std::string &Text);
  void SetInputTSScale(const std::string &Text);
  void SetMatrix(bool Intra, const std::string &Text);
  void SetPass(int Pass);
  void SetVerbosity(int Level);
  void SetVStatsFile();
  void SetTarget(TTargetPreset Preset, TNorm Norm, TNorm FallbackNorm);
  void SetTargetText(const std::string &Text);
  void AddVideoHook(const std::string &Text);
  void NewStream(AVMediaType Type);

  // Opens a source with the current options; false with FErrorText set
  // when it cannot. Per-file options (format, codec names, ...) are consumed.
  bool OpenInputFile(const std::string &FileName);
  // Creates a target with the current options and one stream per media
  // type it gets; false with FErrorText set when it cannot.
  bool OpenOutputFile(const std::string &FileName);
  // Adds one encoder stream to output Output (the one being built, or the
  // last one created); raises FFMpegException on failure.
  void NewVideoStream(AVFormatContext *Output, int OutputIndex);
  void NewAudioStream(AVFormatContext *Output, int OutputIndex);
  void NewSubtitleStream(AVFormatContext *Output, int OutputIndex);
  // Looks an encoder or decoder up by name; an empty name gives no codec.
  // False with FErrorText set when it is unknown or of another media type.
  bool FindCodecID(const std::string &Name, AVMediaType Type, bool Encoder, AVCodecID &ID);
  // Copies every library option set so far by name from Holder to Target,
  // where the option exists on Target with all the Flags.
  void ApplyGenericOptions(void *Target, void *Holder, int Flags);
  // Converts: set-up, loop, drain, trailers. Sets FFinished unless stopped;
  // raises FFMpegException on failure (the outputs are then discarded when
  // the task is cleared).
  void Transcode();

  // Sends Text to the log callback at Level (engine scale), when connected.
  void Log(int Level, const std::string &Text);

  TOptionState &State() { return FState; }
  const TOptionState &State() const { return FState; }

  // The callbacks the owner connects; nothing is sent while they are unset.
  TTaskLogCallback FOnLog;
  TTaskProgressCallback FOnProgress;
  // Least time between two progress reports.
  int64_t FProgressIntervalUS = 500000;

  // Run state, cleared by PrepareOptions.
  bool FRunning = false;
  std::atomic<bool> FStopRequested{false};
  bool FFinished = false;
  bool FTerminated = false;
  bool FExceptionRaised = false;
  std::string FExceptionMessage;

 protected:
  // The format name to look up: "pgmyuv" becomes "image2", with a note.
  std::string ResolveFormatName(const std::string &Name);
  // The norm column of a target preset: 0 PAL, 1 NTSC, 2 film; "auto"
  // decides from the frame rate, then the inputs, then the fallback.
  int TargetNormIndex(TNorm Norm, TNorm FallbackNorm);
  // One microsecond value from a duration or date text, or the named error.
  int64_t ParseTime(const std::string &OptionName, const std::string &Text, bool IsDuration);

  TOptionState FState;
};

class TFFmpeg : public TCustomFFmpeg {
 public:
  // Splits Text into lines and applies each "name=value" line through
  // SetOption, in order.
  void ApplyOptionLines(const std::string &Text);
  // Copies the record into the task and applies it: extra lines first, then
  // the fields, so that fields override the lines.
  void ApplyInputOptions(const TInputOptions &Options);
  void ApplyOutputOptions(const TOutputOptions &Options);

  int FTaskIndex = -1;
  pid_t FThreadID = 0;
  TInputOptions FInputOptions;
  TOutputOptions FOutputOptions;
};

// Unix seconds of a local date-time given as days since 1899-12-30; 0 means
// the current time.
int64_t DateTimeToUnixSeconds(double DateTime);
// The time ranges of a "start-end,start-end" text in milliseconds, as
// microseconds, sorted by end; malformed or reversed items are dropped.
std::vector<TTimeRange> ParseTimeRanges(const std::string &Text);

}  // namespace korvane
