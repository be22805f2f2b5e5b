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

namespace korvane {

// Size of the line buffer one library message is assembled in, pending text
// and prefix included.
inline constexpr size_t LogLineBufferSize = 2048;

// The operating-system id of the calling thread.
pid_t CurrentThreadID();

// Receives one whole line: the thread that logged it, its level on the
// engine scale (0 error, 1 info, 2 debug, 3 all) and the text without "\n".
using TLogLineSink = std::function<void(pid_t ThreadID, int Level, const std::string &Line)>;
using TLogSinkID = std::uint64_t;

// The process-wide list of receivers. A message is assembled by its own
// thread without any lock, and the list's lock is not held while the lines
// go out: a receiver may log, take locks of its own, or be slow without
// holding up any other thread's logging. Unregistering waits for deliveries to that receiver on other
// threads, so a receiver is never called after it is gone.
TLogSinkID RegisterLogSink(TLogLineSink Sink);
void UnregisterLogSink(TLogSinkID ID);

// Forgets the calling thread's pending text, so that what it logs next
// starts a line of its own. Other threads' pending text is theirs alone:
// parallel runs never cut each other's lines short. A thread's pending text
// ends with the thread, so a new task thread always starts clean.
void ClearLogList();

// The callback handed to av_log_set_callback.
void AVLogCallback(void *Context, int Level, const char *Pattern, va_list Args);
// Installs AVLogCallback into the loaded libavutil.
void InstallLogCallback();

}  // namespace korvane
