// Frame-hook plug-ins: shared libraries that change every decoded picture in
// place. A task keeps a chain of them, built from "vhook" option texts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// The picture a plug-in receives: four plane pointers and their line sizes.
struct TFramePicture {
  uint8_t *data[4];
  int linesize[4];
};

// The three entry points a plug-in exports (plain C calling convention).
extern "C" {
using TFrameHookConfigure = int (*)(void **Context, int ArgumentCount, char *Arguments[]);
using TFrameHookProcess = void (*)(void *Context, TFramePicture *Picture, int PixelFormat, int Width,
                                   int Height, int64_t PTS);
using TFrameHookRelease = void (*)(void *Context);
}

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
