// SPDX-License-Identifier: GPL-3.0-or-later
// Frame-hook plug-ins: shared libraries that change every decoded picture in
// place. A task keeps a chain of them, built from "vhook" option texts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#define KORVANE_FRAME_HOOK_HOST
#include "korvane_frame_hook.h"

namespace korvane {

// The picture a plug-in receives and its three entry points, as plug-ins
// see them (korvane_frame_hook.h describes the interface for their authors).
using TFramePicture = KorvaneFramePicture;
using TFrameHookConfigure = KorvaneFrameHookConfigure;
using TFrameHookProcess = KorvaneFrameHookProcess;
using TFrameHookRelease = KorvaneFrameHookRelease;

// Most arguments one plug-in takes, its file name included.
inline constexpr int FrameHookMaxArguments = 64;

class TFrameHookChain {
 public:
  TFrameHookChain() = default;
  ~TFrameHookChain() { Release(); }
  TFrameHookChain(const TFrameHookChain &) = delete;
  TFrameHookChain &operator=(const TFrameHookChain &) = delete;
  TFrameHookChain(TFrameHookChain &&Other) noexcept : FFirst(std::move(Other.FFirst)) {}
  // The plug-ins of this chain are released before it takes the other's.
  TFrameHookChain &operator=(TFrameHookChain &&Other) noexcept {
    if (this != &Other) {
      Release();
      FFirst = std::move(Other.FFirst);
    }
    return *this;
  }

  // Loads the plug-in Arguments[0] (once per process) and appends an entry,
  // configured with all the arguments. Returns 0, or -2 (no arguments, no
  // Process entry, or arguments without a Configure entry), -1 (the library
  // cannot be loaded; the system's message goes to the log), -12 (no memory)
  // or -22 (Configure refused).
  // LoadPath, when given, is where the library is opened from; the plug-in
  // is still known by Arguments[0].
  int Add(int ArgumentCount, char *Arguments[], const char *LoadPath = nullptr);
  // Calls every plug-in's Process in the order they were added.
  void Process(TFramePicture *Picture, int PixelFormat, int Width, int Height, int64_t PTS) const;
  // Calls every plug-in's Release and empties the chain.
  void Release();
  bool Empty() const { return !FFirst; }
  int Count() const;

 private:
  struct TEntry;
  struct TEntryDeleter {
    void operator()(TEntry *Entry) const;
  };
  using TEntryHolder = std::unique_ptr<TEntry, TEntryDeleter>;
  struct TEntry {
    TEntryHolder Next;
    TFrameHookConfigure Configure = nullptr;
    TFrameHookProcess Process = nullptr;
    TFrameHookRelease Release = nullptr;
    void *Context = nullptr;
  };
  TEntryHolder FFirst;
};

}  // namespace korvane
