// SPDX-License-Identifier: GPL-3.0-or-later
#include "AVLog.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "AVLibraries.h"
#include "LibAVUtil.h"
#include "MyUtil.h"

namespace korvane {

namespace {

// A receiver and the deliveries to it under way, which its removal waits for.
struct TSinkEntry {
  TLogLineSink Sink;
  int Deliveries = 0;
};

struct TLogRouter {
  std::recursive_mutex Lock;  // the lock of the receiver list; guards all below
  std::condition_variable_any DeliveryEnded;
  std::map<TLogSinkID, std::shared_ptr<TSinkEntry>> Sinks;
  TLogSinkID NextID = 1;
};

TLogRouter &Router() {
  static TLogRouter Instance;
  return Instance;
}

// The text this thread has logged after its last line end: it continues
// with the thread's next message. Kept by the thread itself, so no other
// thread can reach it, and it goes with the thread.
thread_local std::string PendingText;

// The receivers this thread is delivering to right now (a receiver may log,
// or remove itself, from inside a delivery).
thread_local std::vector<const TSinkEntry *> DeliveringTo;

// Hands Lines to every receiver without holding the list's lock, so that a
// receiver that is slow (or waits for its own lock) holds up no other
// thread's logging; a receiver being removed is waited for instead.
void DeliverLines(pid_t ThreadID, int Level, const std::vector<std::string> &Lines) {
  TLogRouter &R = Router();
  std::vector<std::shared_ptr<TSinkEntry>> Receivers;
  {
    std::lock_guard Guard(R.Lock);
    for (auto &[ID, Entry] : R.Sinks) {
      ++Entry->Deliveries;
      Receivers.push_back(Entry);
    }
  }
  for (const auto &Entry : Receivers) {
    DeliveringTo.push_back(Entry.get());
    try {
      for (const std::string &Line : Lines) Entry->Sink(ThreadID, Level, Line);
    } catch (...) {
      // A library call has no way to take an exception back.
    }
    DeliveringTo.pop_back();
    std::lock_guard Guard(R.Lock);
    if (--Entry->Deliveries == 0) R.DeliveryEnded.notify_all();
  }
}

}  // namespace

pid_t CurrentThreadID() { return static_cast<pid_t>(syscall(SYS_gettid)); }

TLogSinkID RegisterLogSink(TLogLineSink Sink) {
  std::lock_guard Guard(Router().Lock);
  const TLogSinkID ID = Router().NextID++;
  Router().Sinks.emplace(ID, std::make_shared<TSinkEntry>(TSinkEntry{std::move(Sink), 0}));
  return ID;
}

void UnregisterLogSink(TLogSinkID ID) {
  TLogRouter &R = Router();
  std::unique_lock Guard(R.Lock);
  const auto Found = R.Sinks.find(ID);
  if (Found == R.Sinks.end()) return;
  const std::shared_ptr<TSinkEntry> Entry = Found->second;
  R.Sinks.erase(Found);
  // Deliveries on other threads finish first: after this the receiver is
  // never called again. One under way on this very thread cannot be waited for.
  const int Own = static_cast<int>(std::count(DeliveringTo.begin(), DeliveringTo.end(), Entry.get()));
  R.DeliveryEnded.wait(Guard, [&] { return Entry->Deliveries <= Own; });
}

void ClearLogList() { PendingText.clear(); }

void AVLogCallback(void *Context, int Level, const char *Pattern, va_list Args) {
  if (Level > CachedLogLevel()) return;

  const pid_t ThreadID = CurrentThreadID();
  std::string &Pending = PendingText;

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
  if (!Lines.empty()) DeliverLines(ThreadID, LibraryToEngineLevel(Level), Lines);
}

void InstallLogCallback() { LibAVUtil::av_log_set_callback(AVLogCallback); }

}  // namespace korvane
