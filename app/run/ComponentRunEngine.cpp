#include "ComponentRunEngine.h"

namespace korvane {

void TComponentRunEngine::ClearTasks() {
  FComponent.ClearTasks();
  ++FTaskList;
}

bool TComponentRunEngine::SourcePicture(const std::string &FileName, int &Width, int &Height,
                                        double &DisplayAspect) {
  // The component's probe serves the add-file flow too; both run on the UI
  // thread, never at once.
  TAVProbe &Probe = FComponent.AVProbe();
  if (!Probe.LoadFile(FileName, "")) return false;
  const bool HasVideo = Probe.VideoStreamCount() > 0;
  if (HasVideo) {
    TAVVideoStreamInfo Video;
    Probe.GetVideoStreamInfo(Video);
    Width = Video.Width;
    Height = Video.Height;
    DisplayAspect = Video.AspectRatio;
  }
  Probe.CloseFile();
  return HasVideo && Width > 0 && Height > 0;
}

}  // namespace korvane
