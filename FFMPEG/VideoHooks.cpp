// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoHooks.h"

#include <cstring>
#include <exception>

#include "AVLibraries.h"
#include "PictureOps.h"

namespace korvane {

namespace {

// The format the custom-hook event gets its picture in: packed BGR, 24 bits.
constexpr AVPixelFormat HookRGBFormat = AV_PIX_FMT_BGR24;

// Converts the whole of From into To (same size) with a cached scaler
// context; false when no context can be had for the two formats.
bool Convert(TScalerHolder &Context, const AVFrame *From, AVFrame *To) {
  Context.reset(LibSwScale::sws_getCachedContext(
      Context.release(), From->width, From->height, static_cast<AVPixelFormat>(From->format), To->width,
      To->height, static_cast<AVPixelFormat>(To->format), SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!Context) return false;
  LibSwScale::sws_scale(Context.get(), From->data, From->linesize, 0, From->height, To->data, To->linesize);
  return true;
}

}  // namespace

TVideoHooks::TVideoHooks(TCustomFFmpeg &Task, TOptionState &State)
    : FTask(Task),
      FState(State),
      FPlugInsOn(State.FUsingVHook != 0 && !State.FFrameHooks.Empty()),
      FCustomOn(static_cast<bool>(Task.FOnCustomHook)) {}

AVFrame *TVideoHooks::Process(AVFrame *Picture, int64_t PTS) {
  ++FFrameNumber;
  if (!FCustomOn && FPlugInsOn) Decide(PTS);
  const bool RunPlugIns = !FCustomOn && FPlugInsOn && FAction == haContinue;
  if (!FCustomOn && !RunPlugIns) return Picture;

  AVFrame *Work = Writable(Picture);
  if (!Work) return Picture;
  if (FCustomOn) {
    RunCustomHook(Work, PTS);
  } else {
    TFramePicture Planes{};
    for (int P = 0; P < 4; ++P) {
      Planes.data[P] = Work->data[P];
      Planes.linesize[P] = Work->linesize[P];
    }
    FState.FFrameHooks.Process(&Planes, Work->format, Work->width, Work->height, PTS);
  }
  return Work;
}

void TVideoHooks::Decide(int64_t PTS) {
  if (FTask.FOnBeforeHook) {
    try {
      FTask.FOnBeforeHook(FTask, PTS, FAction);
    } catch (...) {
      FTask.Log(0, "Error occurs OnBeforeHook: " + HandledExceptionText());
      FAction = haStop;
    }
    if (FAction == haStop) StopHooks();
    return;
  }
  const std::vector<TTimeRange> &Ranges = FState.FTimeRanges;
  if (Ranges.empty()) return;
  // The ranges are sorted by their ends: those behind the picture are done.
  FAction = haIgnore;
  for (size_t I = FRangeIndex; I < Ranges.size(); ++I) {
    if (Ranges[I].Start <= PTS && PTS <= Ranges[I].End) {
      FRangeIndex = I;
      FAction = haContinue;
      return;
    }
  }
  if (PTS > Ranges.back().End) StopHooks();
}

AVFrame *TVideoHooks::Writable(AVFrame *Picture) {
  // A decoder keeps the pictures it predicts from, and an encoder those it
  // still holds: such a picture is copied, never changed.
  if (LibAVUtil::av_frame_is_writable(Picture)) return Picture;
  if (!ReusePicture(FWork, static_cast<AVPixelFormat>(Picture->format), Picture->width, Picture->height) ||
      LibAVUtil::av_frame_copy(FWork.get(), Picture) < 0 || !CopyPictureProps(FWork.get(), Picture)) {
    FTask.Log(0, "hook buf malloc error.");
    return nullptr;
  }
  return FWork.get();
}

void TVideoHooks::RunCustomHook(AVFrame *Work, int64_t PTS) {
  const int Width = Work->width, Height = Work->height;
  AVFrame *RGB = Work;
  if (Work->format != HookRGBFormat) {
    if (!ReusePicture(FRGB, HookRGBFormat, Width, Height)) {
      FTask.Log(0, "hook buf malloc error.");
      return;
    }
    RGB = FRGB.get();
    if (!Convert(FToRGB, Work, RGB)) {
      FTask.Log(0, "Cannot initialize the toRGB conversion context");
      StopHooks();
      return;
    }
  }

  // The event gets a picture of its own, so that what it draws reaches the
  // output only when it asks for that; it follows the picture's size.
  const size_t Row = static_cast<size_t>(Width) * 3;
  FBitmap.resize(Row * static_cast<size_t>(Height));
  for (int Y = 0; Y < Height; ++Y)
    std::memcpy(&FBitmap[Row * static_cast<size_t>(Y)],
                RGB->data[0] + static_cast<ptrdiff_t>(Y) * RGB->linesize[0], Row);
  TRGBPicture Bitmap{Width, Height, static_cast<int>(Row), FBitmap.data()};
  bool Update = true, Stop = false;
  try {
    FTask.FOnCustomHook(FTask, Bitmap, FFrameNumber, PTS, Update, Stop);
  } catch (...) {
    FTask.Log(0, "Error occurs OnCustomHook: " + HandledExceptionText());
    Update = false;
  }

  bool Failed = false;
  if (Update) {
    for (int Y = 0; Y < Height; ++Y)
      std::memcpy(RGB->data[0] + static_cast<ptrdiff_t>(Y) * RGB->linesize[0],
                  &FBitmap[Row * static_cast<size_t>(Y)], Row);
    if (RGB != Work && !Convert(FFromRGB, RGB, Work)) {
      FTask.Log(0, "Cannot initialize the fromRGB conversion context");
      Failed = true;
    }
  }
  if (Stop || Failed) StopHooks();
}

void TVideoHooks::StopHooks() {
  FCustomOn = false;
  FPlugInsOn = false;
  FAction = haStop;
}

}  // namespace korvane
