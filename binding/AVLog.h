// SPDX-License-Identifier: GPL-3.0-or-later
// The media libraries' log output, assembled into whole lines per thread and
// handed to every registered receiver (the transcoding components).
#pragma once

#include <sys/types.h>

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

namespace korvane {

// Size of the line buffer one library message is assembled in, pending text
// and prefix included.
inline constexpr size_t LogLineBufferSize = 2048;

// The operating-system id of the calling thread.
pid_t CurrentThreadID();

// Pending partial line per thread, so lines of different threads never mix.
class TLogList {
 public:
  // The thread's pending text; an unknown thread gets an empty entry.
  std::string &Find(pid_t ThreadID) { return FItems[ThreadID]; }
  void Clear() { FItems.clear(); }
  size_t Count() const { return FItems.size(); }

 private:
  std::unordered_map<pid_t, std::string> FItems;
};

// Receives one whole line: the thread that logged it, its level on the
// engine scale (0 error, 1 info, 2 debug, 3 all) and the text without "\n".
using TLogLineSink = std::function<void(pid_t ThreadID, int Level, const std::string &Line)>;
using TLogSinkID = std::uint64_t;

// The process-wide list of receivers. Its lock is held while the callback
// assembles a message, not while the lines go out: a receiver may log, take
// locks of its own, or be slow without holding up any other thread's
// logging. Unregistering waits for deliveries to that receiver on other
// threads, so a receiver is never called after it is gone.
TLogSinkID RegisterLogSink(TLogLineSink Sink);
void UnregisterLogSink(TLogSinkID ID);

// Forgets every thread's pending text (a new run of tasks starts clean).
void ClearLogList();

// The callback handed to av_log_set_callback.
void AVLogCallback(void *Context, int Level, const char *Pattern, va_list Args);
// Installs AVLogCallback into the loaded libavutil.
void InstallLogCallback();

}  // namespace korvane
