// SPDX-License-Identifier: GPL-3.0-or-later
#include "SignalWatcher.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "Commands.h"

namespace korvane::convert {

sigset_t StopSignals() {
  sigset_t Signals;
  sigemptyset(&Signals);
  sigaddset(&Signals, SIGINT);
  sigaddset(&Signals, SIGTERM);
  return Signals;
}

void BlockStopSignals() {
  const sigset_t Signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &Signals, nullptr);
}

void UnblockStopSignals() {
  const sigset_t Signals = StopSignals();
  pthread_sigmask(SIG_UNBLOCK, &Signals, nullptr);
}

TSignalWatcher::TSignalWatcher(std::function<void(int Signal)> OnStop, std::function<void(int Signal)> OnKill)
    : FOnStop(std::move(OnStop)), FOnKill(std::move(OnKill)) {
  const sigset_t Signals = StopSignals();
  FSignals = signalfd(-1, &Signals, SFD_CLOEXEC);
  FWake = eventfd(0, EFD_CLOEXEC);
  if (FSignals < 0 || FWake < 0) {
    Close();
    throw std::runtime_error(std::string("cannot watch for stop signals: ") + std::strerror(errno));
  }
  FThread = std::thread([this] { Watch(); });
}

TSignalWatcher::~TSignalWatcher() {
  const uint64_t One = 1;
  while (write(FWake, &One, sizeof One) < 0 && errno == EINTR) {
  }
  FThread.join();
  Close();
}

void TSignalWatcher::Watch() {
  constexpr std::chrono::seconds RepeatGrace{1};
  bool Stopping = false;
  std::chrono::steady_clock::time_point FirstAt;
  for (;;) {
    pollfd Waits[] = {{FSignals, POLLIN, 0}, {FWake, POLLIN, 0}};
    if (poll(Waits, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (Waits[1].revents) return;  // the batch has ended
    signalfd_siginfo Info{};
    if (read(FSignals, &Info, sizeof Info) != static_cast<ssize_t>(sizeof Info)) continue;
    const int Signal = static_cast<int>(Info.ssi_signo);
    const auto Now = std::chrono::steady_clock::now();
    if (Stopping) {
      if (Now - FirstAt < RepeatGrace) continue;
      // The second signal: the default action, now.
      if (FOnKill) FOnKill(Signal);
      signal(Signal, SIG_DFL);
      UnblockStopSignals();
      raise(Signal);
    }
    Stopping = true;
    FirstAt = Now;
    FOnStop(Signal);
  }
}

void TSignalWatcher::Close() {
  if (FSignals >= 0) close(FSignals);
  if (FWake >= 0) close(FWake);
  FSignals = FWake = -1;
}

}  // namespace korvane::convert
