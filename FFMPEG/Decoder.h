// SPDX-License-Identifier: GPL-3.0-or-later
// The decoding stage of one input stream of a run: it keeps the stream's
// clock, decodes its packets (or passes them on to the copies) and hands
// every frame, with its time, to the output streams it feeds.
#pragma once

#include <cstdint>
#include <vector>

#include "AVHolders.h"
#include "FFmpeg.h"
#include "PictureOps.h"
#include "StreamView.h"

namespace korvane {

class TAudioPath;
class TMuxer;
class TVideoHooks;
class TVideoPath;

// One output stream an input stream feeds: its muxer, its audio or video
// path where it is encoded (none for subtitles and copies), and the input
// stream whose clock it keeps in step with.
struct TFeed {
  TMuxer *Muxer = nullptr;
  TAudioPath *Audio = nullptr;
  TVideoPath *Video = nullptr;
  const TStreamView *Clock = nullptr;
};

// What became of a stream's packets, to say why an output got nothing from
// it: packets read, frames decoded, the decoder's last refusal.
struct TDecodeCounts {
  int64_t PacketsRead = 0;
  int64_t FramesDecoded = 0;
  int LastError = 0;
};

class TDecoder {
 public:
  // Stream Stream of input file File; takes over the decoder the option
  // state made for it when the input opened. Hooks change the pictures.
  TDecoder(TCustomFFmpeg &Task, TOptionState &State, TVideoHooks &Hooks, int File, int Stream);
  TDecoder(const TDecoder &) = delete;
  TDecoder &operator=(const TDecoder &) = delete;

  const TStreamView &View() const { return FView; }
  const TDecodeCounts &Counts() const { return FCounts; }
  AVMediaType Type() const { return FView.Stream->codecpar->codec_type; }
  // Whether an output stream was mapped to it; its packets are read then.
  bool Used() const { return FUsed; }
  void Use() { FUsed = true; }
  // Adds an output stream it feeds, in the order the outputs are written;
  // an encoded one makes it decode.
  void Feed(const TFeed &Feed);
  bool Decodes() const { return FDecodes; }
  // Opens the decoder, where it decodes, with the task's thread count.
  void Open();
  // Brings a packet read from the stream onto the run's clock: the file's
  // offset and scale, and a leap of its times taken out.
  void CorrectTimestamps(AVPacket &Packet);
  // Takes a packet (none: the end of the input, which drains the decoder
  // and the encoders it feeds); -1 when it could not be decoded.
  int Process(AVPacket *Packet);
  // Frees the decoder (under the codec-open lock).
  void Close();

 private:
  // Starts or moves the clock by the packet's times.
  void StartClock(const AVPacket *Packet);
  // A packet of a copied stream goes on as it is; the clock advances by its length.
  void CopyOn(const AVPacket &Packet);
  // Sets the clock to a decoded frame's own time, unless it is damaged.
  void TakeFrameTime(const AVFrame &Frame);
  // Sends a packet (none: the end) to the decoder; false when it refuses it.
  bool Send(const AVPacket *Packet);
  // The decoder's next frame into Frame: true when there is one. A frame
  // that fails to decode sets Failed and is passed over.
  bool Receive(AVFrame *Frame, bool &Failed);
  int DecodeAudio(AVPacket *Packet);
  // Converts a decoded audio frame into the working samples (FSamples) at
  // the task's volume; their bytes, or -1 when it cannot.
  int ToWorkSamples(AVFrame *Frame);
  int DecodeVideo(AVPacket *Packet);
  // Prepares a decoded picture once for all its outputs (deinterlacing,
  // then turning it upright); returns Picture itself or a work picture.
  AVFrame *Preprocess(AVFrame *Picture);
  int DecodeSubtitle(AVPacket *Packet);
  // With rate emulation, waits until the data's time has come.
  void EmulateRate();
  bool StartReached() const;
  // The end of the stream: what the paths and the encoders still hold.
  void Drain();

  TCustomFFmpeg &FTask;
  TOptionState &FState;
  TVideoHooks &FHooks;
  TStreamView FView;
  TCodecHolder FContext;
  TDecodeCounts FCounts;
  std::vector<TFeed> FFeeds;
  bool FUsed = false;
  bool FDecodes = false;
  // Rate emulation: the wall clock at set-up, and the time of the first
  // data passed on.
  bool FRateEmu = false;
  int64_t FStart = 0;
  int64_t FFirstPts = AV_NOPTS_VALUE;
  TFrameHolder FFrame;          // the decoded frame
  TFrameHolder FWorkPicture;    // its deinterlaced copy, when asked for
  TFrameHolder FTurnedPicture;  // the picture turned upright
  TRotateScratch FTurnScratch;
  TResamplerHolder FToWork;  // decoded samples to the working form
  std::vector<uint8_t> FSamples;
};

}  // namespace korvane
