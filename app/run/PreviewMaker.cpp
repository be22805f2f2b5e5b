// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreviewMaker.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "FFmpegVCL.h"

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
    std::lock_guard Guard(FComponentLock);
    if (FComponent) FComponent->StopAllTasks();
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
  // The component is made, used and freed on this thread alone.
  TFFmpegVCL Component;
  const bool Loaded = Component.LoadMediaLibraries(FLibraryFolder, true);
  const std::string LoadError = Component.LastError();
  Component.OnTerminate = [this](int AIndex, bool, bool AException, const std::string &AMessage) {
    {
      std::lock_guard Guard(FLock);
      if (AIndex >= 0) {
        FFailed = AException;
        FMessage = AMessage;
      } else {
        FTasksEnded = true;
      }
    }
    FWake.notify_all();
  };
  {
    std::lock_guard Guard(FComponentLock);
    FComponent = &Component;
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
    TPreviewPicture Picture;
    if (Loaded)
      Picture = Make(Component, std::move(Request));
    else
      Picture = {Request.Serial, Request.Ms, {}, LoadError};
    {
      std::lock_guard Guard(FLock);
      if (FStopping) break;
    }
    FDone(std::move(Picture));
  }
  {
    std::lock_guard Guard(FComponentLock);
    FComponent = nullptr;
  }
  Component.StopAllTasks();
  Component.ClearTasks();
  Component.OnTerminate = nullptr;
}

TPreviewPicture TPreviewMaker::Make(TFFmpegVCL &Component, TRequest Request) {
  TPreviewPicture Picture{Request.Serial, Request.Ms, {}, {}};
  const std::string Png = FFolder + "/preview-" + std::to_string(Request.Serial) + ".png";
  TConversionSetup &Setup = Request.Setup;
  MakePreview(Setup, Png, Request.Ms);
  Component.ClearTasks();
  {
    std::lock_guard Guard(FLock);
    FTasksEnded = FFailed = false;
    FMessage.clear();
  }
  const int Index = Component.AddTask(Setup.Input.FileName, &Setup.Input);
  if (Index < 0 || !Component.SetTaskOutput(Index, Setup.Output, &Setup.Options)) {
    Picture.Error = Component.LastError();
    Component.ClearTasks();
    std::filesystem::remove(Png);
    return Picture;
  }
  {
    std::unique_lock Guard(FLock);
    if (FStopping) return Picture;
  }
  Component.StartTasks(1);
  {
    std::unique_lock Guard(FLock);
    for (bool Stopped = false; !FTasksEnded;) {
      if (FStopping && !Stopped) {
        Guard.unlock();
        Component.StopAllTasks();
        Guard.lock();
        Stopped = true;
        continue;
      }
      FWake.wait(Guard);
    }
    if (FFailed) Picture.Error = FMessage;
  }
  Component.ClearTasks();
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
