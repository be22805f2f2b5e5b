// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreviewMaker.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "BlockingRun.h"

namespace korvane {

TPreviewMaker::TPreviewMaker(std::string LibraryFolder, std::string Folder, TDone Done)
    : FLibraryFolder(std::move(LibraryFolder)), FFolder(std::move(Folder)), FDone(std::move(Done)) {
  FThread = std::thread([this] { Run(); });
}

TPreviewMaker::~TPreviewMaker() {
  {
    std::lock_guard Guard(FLock);
    FStopping = true;
  }
  FWake.notify_all();
  {
    // The thread may be opening an input, which can take long: a stop
    // makes it give up.
    std::lock_guard Guard(FRunnerLock);
    if (FRunner) FRunner->Stop();
  }
  FThread.join();
}

int TPreviewMaker::Request(const TConversionSetup &Setup, int64_t Ms) {
  int Serial = 0;
  {
    std::lock_guard Guard(FLock);
    Serial = ++FSerial;
    FWaiting = TRequest{Setup, Ms, Serial};
  }
  FWake.notify_all();
  return Serial;
}

void TPreviewMaker::Run() {
  // The runner's component is made, used and freed on this thread alone.
  TBlockingRun Runner(FLibraryFolder);
  {
    std::lock_guard Guard(FRunnerLock);
    FRunner = &Runner;
  }
  for (;;) {
    TRequest Request;
    {
      std::unique_lock Guard(FLock);
      FWake.wait(Guard, [this] { return FStopping || FWaiting; });
      if (FStopping) break;
      Request = std::move(*FWaiting);
      FWaiting.reset();
    }
    TPreviewPicture Picture = Make(Runner, std::move(Request));
    {
      std::lock_guard Guard(FLock);
      if (FStopping) break;
    }
    FDone(std::move(Picture));
  }
  std::lock_guard Guard(FRunnerLock);
  FRunner = nullptr;
}

TPreviewPicture TPreviewMaker::Make(TBlockingRun &Runner, TRequest Request) {
  TPreviewPicture Picture{Request.Serial, Request.Ms, {}, {}};
  if (!Runner.LoadError().empty()) {
    Picture.Error = Runner.LoadError();
    return Picture;
  }
  const std::string Png = FFolder + "/preview-" + std::to_string(Request.Serial) + ".png";
  TConversionSetup &Setup = Request.Setup;
  MakePreview(Setup, Png, Request.Ms);
  Picture.Error = Runner.Convert(Setup);
  std::ifstream File(Png, std::ios::binary);
  Picture.Png.assign(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
  File.close();
  std::error_code Ignored;
  std::filesystem::remove(Png, Ignored);
  if (!Picture.Error.empty()) Picture.Png.clear();
  if (Picture.Png.empty() && Picture.Error.empty()) Picture.Error = "No picture could be made at this time.";
  return Picture;
}

}  // namespace korvane
