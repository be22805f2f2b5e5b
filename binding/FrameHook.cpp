// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameHook.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "LibAVUtil.h"

namespace korvane {

namespace {

// Plug-in libraries loaded so far, by the file name they were asked for.
// They stay loaded for the life of the process, so entries of any task may
// keep pointing into them. The lock lets tasks of several components (or a
// batch that sets up one task while others run) add plug-ins at any time.
std::mutex LoadedPlugInsLock;
std::map<std::string, void *> &LoadedPlugIns() {
  static std::map<std::string, void *> Libraries;
  return Libraries;
}

void *LoadPlugIn(const std::string &FileName, const char *LoadPath) {
  std::lock_guard Guard(LoadedPlugInsLock);
  auto &Libraries = LoadedPlugIns();
  if (const auto Found = Libraries.find(FileName); Found != Libraries.end()) return Found->second;
  dlerror();
  void *Handle = dlopen(LoadPath && *LoadPath ? LoadPath : FileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!Handle) {
    const char *Message = dlerror();
    LibAVUtil::av_log(nullptr, AV_LOG_ERROR, "%s\n", Message ? Message : "cannot load the plug-in");
    return nullptr;
  }
  Libraries.emplace(FileName, Handle);
  return Handle;
}

template <typename T>
T Entry(void *Library, const char *Name) {
  return reinterpret_cast<T>(dlsym(Library, Name));
}

}  // namespace

void TFrameHookChain::TEntryDeleter::operator()(TEntry *Entry) const {
  // Unlink iteratively so a long chain cannot exhaust the stack.
  TEntryHolder Next = std::move(Entry->Next);
  delete Entry;
  while (Next) {
    TEntryHolder After = std::move(Next->Next);
    Next.reset();
    Next = std::move(After);
  }
}

int TFrameHookChain::Add(int ArgumentCount, char *Arguments[], const char *LoadPath) {
  if (ArgumentCount < 1) return -2;
  const char *FileName = Arguments[0];
  void *Library = LoadPlugIn(FileName, LoadPath);
  if (!Library) return -1;

  TEntryHolder Added(new (std::nothrow) TEntry);
  if (!Added) return -12;
  Added->Configure = Entry<TFrameHookConfigure>(Library, "Configure");
  Added->Process = Entry<TFrameHookProcess>(Library, "Process");
  Added->Release = Entry<TFrameHookRelease>(Library, "Release");

  if (!Added->Process) {
    LibAVUtil::av_log(nullptr, AV_LOG_ERROR, "Failed to find Process entrypoint in %s\n", FileName);
    return -2;
  }
  if (!Added->Configure && ArgumentCount > 1) {
    LibAVUtil::av_log(nullptr, AV_LOG_ERROR, "Failed to find Configure entrypoint in %s\n", FileName);
    return -2;
  }
  if (Added->Configure && Added->Configure(&Added->Context, ArgumentCount, Arguments) != 0) {
    LibAVUtil::av_log(nullptr, AV_LOG_ERROR, "Failed to Configure %s\n", FileName);
    return -22;
  }

  TEntryHolder *Last = &FFirst;
  while (*Last) Last = &(*Last)->Next;
  *Last = std::move(Added);
  return 0;
}

void TFrameHookChain::Process(TFramePicture *Picture, int PixelFormat, int Width, int Height,
                              int64_t PTS) const {
  for (const TEntry *E = FFirst.get(); E; E = E->Next.get())
    E->Process(E->Context, Picture, PixelFormat, Width, Height, PTS);
}

void TFrameHookChain::Release() {
  for (TEntry *E = FFirst.get(); E; E = E->Next.get())
    if (E->Release) E->Release(E->Context);
  FFirst.reset();
}

int TFrameHookChain::Count() const {
  int Result = 0;
  for (const TEntry *E = FFirst.get(); E; E = E->Next.get()) ++Result;
  return Result;
}

}  // namespace korvane
