// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of a preview: a row's conversion set-up turned into one
// picture at a chosen time (MakePreview), converted by a component of its
// own on a thread of its own, so that the window never waits for it. Only
// the newest request is made when several come while one is under way.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "RowSetup.h"

namespace korvane {

class TBlockingRun;

// One picture made, or why it could not be.
struct TPreviewPicture {
  int Serial = 0;  // of the request it answers
  int64_t Ms = 0;
  std::string Png;    // the picture's PNG bytes; empty when it failed
  std::string Error;  // why it failed
};

class TPreviewMaker {
 public:
  // Called on the maker's thread with each picture made.
  using TDone = std::function<void(TPreviewPicture &&Picture)>;

  // LibraryFolder: the media libraries, as the window loaded them. The
  // temporary PNGs go to Folder, which must exist.
  TPreviewMaker(std::string LibraryFolder, std::string Folder, TDone Done);
  // Stops the picture under way and waits for the thread.
  ~TPreviewMaker();
  TPreviewMaker(const TPreviewMaker &) = delete;
  TPreviewMaker &operator=(const TPreviewMaker &) = delete;

  // The picture at Ms of the conversion Setup describes; replaces a
  // request not yet begun. Its serial number, which its picture carries:
  // they count up from 1.
  int Request(const TConversionSetup &Setup, int64_t Ms);

 private:
  struct TRequest {
    TConversionSetup Setup;
    int64_t Ms = 0;
    int Serial = 0;
  };
  void Run();
  TPreviewPicture Make(TBlockingRun &Runner, TRequest Request);

  const std::string FLibraryFolder, FFolder;
  TDone FDone;
  std::mutex FLock;
  std::condition_variable FWake;
  // Guarded by FLock: the request waiting, and the end of the maker.
  std::optional<TRequest> FWaiting;
  int FSerial = 0;
  bool FStopping = false;
  // The runner while it lives, so that the end of the maker can stop a
  // picture under way (an input still being opened too); FRunnerLock keeps
  // it alive meanwhile.
  std::mutex FRunnerLock;
  TBlockingRun *FRunner = nullptr;
  std::thread FThread;
};

}  // namespace korvane
