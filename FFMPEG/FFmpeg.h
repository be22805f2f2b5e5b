// SPDX-License-Identifier: GPL-3.0-or-later
// A conversion task: its option state, the operations that reset, prepare
// and clear it, the option dispatcher and the typed option setters, and its
// one run (on a worker thread or the caller's) with stop, pause and its end.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AVProbe.h"
#include "FFMpegException.h"
#include "OptionRecords.h"
#include "OptionState.h"
#include "ProgressInfo.h"

namespace korvane {

class TCustomFFmpeg;

// Receives the task's log lines: the task, the level on the engine scale
// (-1 quiet .. 3 all) and the text.
using TTaskLogCallback = std::function<void(TCustomFFmpeg &Task, int Level, const std::string &Text)>;

using TTaskProgressCallback = std::function<void(TCustomFFmpeg &Task, const TProgressInfo &Info)>;

// ---- Running a task: what its thread, its hooks and its end need ----

// What the before-hook event decides for one picture.
enum THookAction { haContinue, haIgnore, haStop };
// Scheduling priority of a task's worker thread, lowest first.
enum TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

// The picture the custom-hook event receives: packed BGR, 24 bits (blue,
// green, red bytes), Height rows of Stride bytes each. The handler may
// change the pixels in place; they reach the output when it leaves the
// update flag set.
struct TRGBPicture {
  int Width = 0;
  int Height = 0;
  int Stride = 0;
  uint8_t *Data = nullptr;
};

// The end of a task's run, and the two frame-hook decisions of the video path.
using TTaskTerminateCallback = std::function<void(TCustomFFmpeg &Task)>;
using TTaskBeforeHookCallback = std::function<void(TCustomFFmpeg &Task, int64_t PTS, THookAction &Action)>;
using TTaskCustomHookCallback = std::function<void(TCustomFFmpeg &Task, TRGBPicture &Picture, int FrameNumber,
                                                   int64_t PTS, bool &Update, bool &StopHook)>;

// Held by a thread that a task starts, for as long as the thread runs, and
// given up as the thread's very last act, after the thread has let go of the
// task. Whoever the thread calls back (the component and its dispatchers)
// counts its live threads with it and waits for them before it goes.
class TThreadLease {
 public:
  virtual ~TThreadLease() = default;
};
using TThreadLeaseHolder = std::unique_ptr<TThreadLease>;

// The thread a task runs on (or reports its end from). Joined when the task
// is freed; detached instead when the task is freed on that very thread,
// which happens when the thread held the last reference to it.
class TTaskThread {
 public:
  TTaskThread() = default;
  ~TTaskThread();
  TTaskThread(const TTaskThread &) = delete;
  TTaskThread &operator=(const TTaskThread &) = delete;
  // A task gets one thread in its life (its run or its stop report).
  template <typename TBody>
  void Start(TBody &&Body) {
    FThread = std::thread(std::forward<TBody>(Body));
  }
  // Waits for the thread to end, unless it is the calling thread.
  void Join();

 private:
  std::thread FThread;
};

// Disc and camera formats a target preset can set up.
enum class TTargetPreset { VCD, SVCD, DVD, DV, DV50 };
// Television norms of a target preset; Auto decides from the frame rate.
enum class TNorm { PAL, NTSC, Film, Auto };

// A task that runs on a thread of its own must be owned by a std::shared_ptr:
// the thread keeps it alive until the thread is done with it.
class TCustomFFmpeg : public std::enable_shared_from_this<TCustomFFmpeg> {
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
  void SetAutoRotate(bool On);
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
  void SetThreadCount(const std::string &Text);  // 0: automatic
  void SetVerbosity(int Level);
  void SetVStatsFile();
  void SetTarget(TTargetPreset Preset, TNorm Norm, TNorm FallbackNorm);
  void SetTargetText(const std::string &Text);
  void AddVideoHook(const std::string &Text);
  void NewStream(AVMediaType Type);

  // Opens a source with the current options; false with FErrorText set
  // when it cannot. Per-file options (format, codec names, ...) are consumed.
  // Opening and reading the stream information give up after FOpenTimeLimit
  // or as soon as a stop is requested.
  bool OpenInputFile(const std::string &FileName);
  // How long opening a source may wait for it: the media probe's limit.
  std::chrono::milliseconds FOpenTimeLimit = TAVProbe::ReadTimeLimit;
  // Whether an open under way is to give up (a stop, or its time is over).
  bool OpenInterrupted() const;
  // The text of an open given up because a stop was requested.
  static std::string StoppedOpenText(const std::string &FileName);
  // Creates a target with the current options and one stream per media
  // type it gets; false with FErrorText set when it cannot.
  bool OpenOutputFile(const std::string &FileName);
  // Adds one encoder stream to output Output (the one being built, or the
  // last one created), for input stream Source when given; raises
  // FFMpegException on failure.
  void NewVideoStream(AVFormatContext *Output, int OutputIndex, TStreamRef Source = {});
  void NewAudioStream(AVFormatContext *Output, int OutputIndex, TStreamRef Source = {});
  void NewSubtitleStream(AVFormatContext *Output, int OutputIndex, TStreamRef Source = {});
  // Adds a copy of an attachment (a font, a cover) to output Output.
  void NewAttachmentStream(AVFormatContext *Output, int OutputIndex, TStreamRef Source);
  // Adds a copy of each cover of the sources to output Output, as a cover
  // where the container keeps covers, as an attached file in Matroska;
  // elsewhere a log line and a note say it is left out. A picture file (a
  // preview) holds the film's picture only: no cover.
  void NewCoverStreams(AVFormatContext *Output, int OutputIndex);
  // Keeps Note, what an output leaves out of its sources, for the end of
  // the run (FNotes); the log has said so in its own words.
  void NoteLeftOut(const std::string &Note);
  // Adds the streams output Output gets under the task's stream plan;
  // false with FErrorText set when one cannot be made.
  bool NewOutputStreams(AVFormatContext *Output, int OutputIndex);
  // Adds the streams of the every-track and copy-all plans, for the media
  // types the output uses; raises FFMpegException on failure.
  void NewPlannedStreams(AVFormatContext *Output, int OutputIndex, bool UseVideo, bool UseAudio,
                         bool UseSubtitle);
  // Looks an encoder or decoder up by name; an empty name gives no codec.
  // False with FErrorText set when it is unknown or of another media type.
  // Found (when given) gets the codec itself: several encoders may share
  // one id (libxvid and the native MPEG-4 encoder), the name tells which.
  bool FindCodecID(const std::string &Name, AVMediaType Type, bool Encoder, AVCodecID &ID,
                   const AVCodec **Found = nullptr);
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

  // Run state, cleared by PrepareOptions. FRunning and FTerminated change
  // under FRunLock (a start, a stop and the end of the run may meet on
  // different threads) and are read anywhere. FFinished, FExceptionRaised
  // and FExceptionMessage belong to the thread that runs the task: set
  // before it starts, written by the run, read by its terminate callback.
  std::atomic<bool> FRunning{false};
  std::atomic<bool> FStopRequested{false};
  bool FFinished = false;
  std::atomic<bool> FTerminated{false};
  bool FExceptionRaised = false;
  std::string FExceptionMessage;
  // Set by a finished run whose outputs hold much less than its sources
  // declare (a source cut short): why, with both lengths. The outputs are
  // kept; the run is finished but not whole.
  std::string FShortfallText;
  // What the outputs leave out of the sources because their containers
  // cannot hold it (a cover, picture subtitles), one line each: set when
  // the outputs are made, cleared by PrepareOptions, and told with the end
  // of a run that keeps its output. The output is still whole.
  std::vector<std::string> FNotes;

  // ---- Running the task (the component drives these) ----

  // Starts the task's one run. With UseThread the run goes to a new worker
  // thread of the given priority, held until ResumeThread; the result is that
  // thread's system id. Without, the run happens inside this call on the
  // calling thread and the result is 0. A task that is running or has run is
  // not started again (0). A task without an output or an input fails at
  // once: the failure is logged at level -1 and reported through the
  // terminate callback. Lease goes to the thread (see TThreadLease).
  pid_t StartRun(bool UseThread, TConvertPriority Priority, TThreadLeaseHolder Lease = nullptr);
  // Lets the thread StartRun made begin the run.
  void ResumeThread();
  // The run itself: the transcode, a failure's report, clearing the options,
  // and NotifyTerminated. Never throws.
  void Run();
  // The end of the run: no longer running, terminated, the terminate callback.
  void NotifyTerminated();
  // Asks the run to end before its next packet; wakes it when it is paused
  // or not yet resumed.
  void RequestStop();
  // Stops the task: a running one is asked to stop; one that never started
  // reports its end without running, from a short-lived thread of the lowest
  // priority (Lease as for StartRun).
  void StopTask(TThreadLeaseHolder Lease = nullptr);
  // Pauses or resumes the run at its safe point in the transcode loop.
  void SetPaused(bool Paused);
  // The loop's safe point, reached before every packet: waits while the run
  // is paused; false as soon as a stop is requested.
  bool ContinueAfterPause();
  // Whether the run waits at its safe point now.
  bool PausedAtSafePoint() const;
  // Whether the run is under way on a worker thread.
  bool RunsOnWorkerThread() const;
  // Asks the run to stop and waits, Limit at most, until the run is over and
  // its thread is done with the task (not at all when called on that
  // thread). True when both are.
  bool StopAndWait(std::chrono::milliseconds Limit);

  // Connected by the owner before the run; nothing is sent while unset.
  TTaskTerminateCallback FOnTerminate;
  // Asked for every picture whether the frame-hook plug-ins run on it, while
  // there are plug-ins and no custom hook; its answer comes back with the
  // next picture, and haStop ends the plug-ins (and the questions) for good.
  TTaskBeforeHookCallback FOnBeforeHook;
  // Given every picture while it has not asked to stop; a connected custom
  // hook takes the place of the plug-ins.
  TTaskCustomHookCallback FOnCustomHook;

 protected:
  // The format name to look up: "pgmyuv" becomes "image2", with a note.
  std::string ResolveFormatName(const std::string &Name);
  // The norm column of a target preset: 0 PAL, 1 NTSC, 2 film; "auto"
  // decides from the frame rate, then the inputs, then the fallback.
  int TargetNormIndex(TNorm Norm, TNorm FallbackNorm);
  // One microsecond value from a duration or date text, or the named error.
  int64_t ParseTime(const std::string &OptionName, const std::string &Text, bool IsDuration);

  TOptionState FState;

 private:
  // Reports a failed run: logged at level -1, FExceptionRaised and FExceptionMessage.
  void ReportFailure(const std::string &Message);
  // A start that cannot go ahead: cleared, reported, terminated.
  void FailStart(const std::string &Message);
  // The first and the last act of a thread the task starts.
  void ThreadBegins();
  void ThreadEnds();
  // Opens Input (made, not yet opened) and reads its stream information,
  // giving up after FOpenTimeLimit or at a stop request; false with
  // FErrorText set when it cannot.
  bool OpenWithDeadline(TInputFormatHolder &Input, const std::string &FileName);

  // Guards the compound changes of FRunning and FTerminated and the fields
  // below; FRunChanged announces every change and every stop request.
  mutable std::mutex FRunLock;
  std::condition_variable FRunChanged;
  bool FOnWorker = false;                    // the run was given a worker thread
  bool FHeldAtStart = false;                 // the worker waits for ResumeThread
  bool FWaitingAtSafePoint = false;          // the run is parked at its safe point
  bool FThreadMade = false;                  // FThread was started (run or stop report)
  bool FThreadDone = false;                  // ... and has nothing left to do with the task
  std::thread::id FOwnThread;                // the thread that runs the task or reports its end
  std::atomic<bool> FPauseRequested{false};  // written under FRunLock; read without it at the safe point
  // Until when an input open may wait (steady clock, nanoseconds); the
  // largest value outside an open.
  std::atomic<int64_t> FOpenDeadline{INT64_MAX};
  // Last, so that it goes first: the thread is joined before the rest goes.
  TTaskThread FThread;
};

// Where a task stands in its component's queue: not queued, waiting for a
// slot, started (or about to start), or ended one of three ways.
enum class TQueueState { Idle, Queued, Running, Done, Failed, Stopped };

class TFFmpeg : public TCustomFFmpeg {
 public:
  // Splits Text into lines and applies each "name=value" line through
  // SetOption, in order.
  void ApplyOptionLines(const std::string &Text);
  // Copies the record into the task and applies it: extra lines first, then
  // the fields, so that fields override the lines.
  void ApplyInputOptions(const TInputOptions &Options);
  void ApplyOutputOptions(const TOutputOptions &Options);

  // Position in the component's list; renumbered there under the component's
  // lock, read by the hook events without it.
  std::atomic<int> FTaskIndex{-1};
  // The system id of the thread running the task; written and read under the
  // component's lock.
  pid_t FThreadID = 0;
  // The task's place in the component's queue; under the component's lock.
  TQueueState FQueueState = TQueueState::Idle;
  TInputOptions FInputOptions;
  TOutputOptions FOutputOptions;
};

// Unix seconds of a local date-time given as days since 1899-12-30; 0 means
// the current time.
int64_t DateTimeToUnixSeconds(double DateTime);
// The time ranges of a "start-end,start-end" text in milliseconds, as
// microseconds, sorted by end; malformed or reversed items are dropped.
std::vector<TTimeRange> ParseTimeRanges(const std::string &Text);
// What in output file File of S its container refuses, when a stream
// tells: a tag the stream's codec cannot go under there, or a codec the
// container cannot hold (converted, or copied as it is); empty when no
// stream is the cause.
std::string RefusedStreamText(const TOptionState &S, int File);
// The encoder of the present libraries that does the job of an encoder name
// the profiles write (some name encoders of older releases); Name itself
// otherwise. Points into Name or into a table of the program.
const char *PresentEncoderName(const std::string &Name);

}  // namespace korvane
