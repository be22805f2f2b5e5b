#include "AVLog.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "AVLibraries.h"
#include "LibAVUtil.h"
#include "MyUtil.h"

namespace korvane {

namespace {

struct TLogRouter {
  std::recursive_mutex Lock;  // the lock of the receiver list; guards all below
  std::map<TLogSinkID, TLogLineSink> Sinks;
  TLogSinkID NextID = 1;
  TLogList PendingLines;
};

TLogRouter &Router() {
  static TLogRouter Instance;
  return Instance;
}

void DeliverLine(pid_t ThreadID, int Level, const std::string &Line) {
  for (auto &[ID, Sink] : Router().Sinks) Sink(ThreadID, Level, Line);
}

}  // namespace

pid_t CurrentThreadID() { return static_cast<pid_t>(syscall(SYS_gettid)); }

TLogSinkID RegisterLogSink(TLogLineSink Sink) {
  std::lock_guard Guard(Router().Lock);
  const TLogSinkID ID = Router().NextID++;
  Router().Sinks.emplace(ID, std::move(Sink));
  return ID;
}

void UnregisterLogSink(TLogSinkID ID) {
  std::lock_guard Guard(Router().Lock);
  Router().Sinks.erase(ID);
}

std::recursive_mutex &LogSinkListLock() { return Router().Lock; }

void ClearLogList() {
  std::lock_guard Guard(Router().Lock);
  Router().PendingLines.Clear();
}

void AVLogCallback(void *Context, int Level, const char *Pattern, va_list Args) {
  if (Level > CachedLogLevel()) return;

  TLogRouter &R = Router();
  std::lock_guard Guard(R.Lock);
  const pid_t ThreadID = CurrentThreadID();
  std::string &Pending = R.PendingLines.Find(ThreadID);

  char Buffer[LogLineBufferSize] = {};
  size_t Used = 0;
  const AVClass *Class = Context ? *static_cast<const AVClass *const *>(Context) : nullptr;
  if (Class && Pending.empty()) {
    const char *Name = Class->item_name ? Class->item_name(Context) : Class->class_name;
    const int Written = std::snprintf(Buffer, sizeof Buffer, "[%s @ %08lX]", Name ? Name : "",
                                      static_cast<unsigned long>(reinterpret_cast<uintptr_t>(Class)));
    Used = std::min(static_cast<size_t>(std::max(Written, 0)), sizeof Buffer - 1);
  } else if (!Pending.empty()) {
    Used = std::min(Pending.size(), sizeof Buffer - 1);
    std::memcpy(Buffer, Pending.data(), Used);
  }
  // Formatting is bounded by what is left of the buffer: an over-long
  // message is cut, never written past the end.
  va_list Copy;
  va_copy(Copy, Args);
  MyUtil::my_vsnprintf(Buffer + Used, sizeof Buffer - Used, Pattern, Copy);
  va_end(Copy);

  // Cut the text into whole lines; what follows the last "\n" stays pending
  // and continues the next message of this thread without a prefix.
  const std::string Text(Buffer);
  std::vector<std::string> Lines;
  size_t Start = 0;
  for (size_t End; (End = Text.find('\n', Start)) != std::string::npos; Start = End + 1)
    Lines.push_back(Text.substr(Start, End - Start));
  Pending = Text.substr(Start);
  // A full buffer without a line end would stay pending forever and swallow
  // every later message of this thread: hand it on as a line of its own.
  if (Pending.size() >= sizeof Buffer - 1) {
    Lines.push_back(std::move(Pending));
    Pending.clear();
  }

  // Receivers may log themselves: deliver only after the pending text is
  // settled, and without holding on to it.
  const int EngineLevel = LibraryToEngineLevel(Level);
  for (const std::string &Line : Lines) DeliverLine(ThreadID, EngineLevel, Line);
}

void InstallLogCallback() { LibAVUtil::av_log_set_callback(AVLogCallback); }

}  // namespace korvane
