// SPDX-License-Identifier: GPL-3.0-or-later
// The write side of one output stream: its encoder's packets, copied
// packets and subtitles go through here to the output file, with their
// timestamps checked. It keeps what reached the file (last decode time,
// end, packets and bytes), what the encoder said of its last frame and the
// first pass's statistics file, and is the audio and video paths' link to
// the encoder.
#pragma once

#include <cstdint>
#include <vector>

#include "EncoderLink.h"
#include "FFmpeg.h"
#include "StreamView.h"

namespace korvane {

// What the encoder said of the last frame it coded: quality, picture type
// and the squared errors of the planes.
struct TCodedFrame {
  bool Known = false;
  int Quality = 0;
  char PictType = '?';
  uint64_t Error[3] = {};
};

class TMuxer final : public TEncoderLink {
 public:
  // Stream number Index of output file File, with the encoder the option
  // state made for it (the settings only, for a copy).
  TMuxer(TCustomFFmpeg &Task, TOptionState &State, int File, int Index);
  TMuxer(const TMuxer &) = delete;
  TMuxer &operator=(const TMuxer &) = delete;

  // The input stream the output is made from, and whether the run copies
  // some picture stream (sound and subtitles then keep their times before
  // the start).
  void Connect(const TStreamView &Source, bool PicturesCopied);
  // The first pass writes its statistics into the log of output stream
  // Position, the second reads them back into the encoder.
  void OpenPassLog(int Position);
  // Once the encoder is open: the stream takes its parameters and time
  // base; false when they do not fit it.
  bool TakeEncoderParameters();
  // The time base of Position(): the encoder's, or one frame of a copied
  // picture stream.
  void SetPositionBase(AVRational TimeBase) { FPositionBase = TimeBase; }

  // TEncoderLink
  AVCodecContext *Encoder() const override { return FEncoder; }
  int64_t Position() const override { return FPosition; }
  void Advance(int64_t Count) override { FPosition += Count; }
  int FramesEncoded() const override { return FFrames; }
  int Encode(AVFrame *Frame) override;

  // A packet of the stream copied from its source.
  void CopyPacket(const AVPacket &Packet);
  // A subtitle decoded from the source, at the source's packet time.
  void SubtitleOut(AVSubtitle &Subtitle, int64_t PacketPts);
  // Writes a line of the video statistics file for a picture of FrameSize
  // bytes, when the options name one.
  void WriteVideoStats(int FrameSize);
  // Ends an opened encoder in a way that cannot block and lets it go: the
  // option state closes it.
  void EndEncoding();

  int FileIndex() const { return FFile; }
  int Index() const { return FIndex; }
  AVStream *Stream() const { return FStream; }
  AVMediaType Type() const { return FStream->codecpar->codec_type; }
  bool Copies() const { return FCopy; }
  // Whether the stream's time is the film's (its picture or sound, not a
  // subtitle track or a cover), for progress and for the lengths.
  bool FollowsFilm() const;
  // How far the stream has come, seconds: pictures by their count, the
  // rest by the end of what was written.
  double OutputTime() const;
  // Frames written: pictures encoded, or packets copied.
  int Frames() const { return FFrames; }
  int64_t PacketsWritten() const { return FPacketsWritten; }
  // Bytes of picture or sound written (none for other streams).
  int64_t BytesWritten() const { return FBytesWritten; }
  // The encoder's global headers, bytes.
  int64_t HeaderBytes() const { return FHeaderBytes; }
  int64_t EndPts() const { return FEndPts; }      // stream time base
  int64_t FirstPts() const { return FFirstPts; }  // stream time base; none before the first packet
  const TCodedFrame &Coded() const { return FCoded; }

 private:
  void WritePacket(AVPacket &Packet);
  // Whether a copied packet of sound or subtitles ends before the output's start.
  bool BeforeTheStart(const AVPacket &Packet) const;
  void ReadCodedFrame(const AVPacket &Packet);

  TCustomFFmpeg &FTask;
  TOptionState &FState;
  const int FFile;
  const int FIndex;
  const bool FCopy;
  AVStream *FStream;
  AVCodecContext *FEncoder;
  const TStreamView *FSource = nullptr;
  bool FPicturesCopied = false;
  int64_t FPosition = 0;  // frames or samples written
  AVRational FPositionBase{1, 25};
  int FFrames = 0;                     // see Frames()
  int64_t FFramesSent = 0;             // frames given to the encoder
  int64_t FLastDts = AV_NOPTS_VALUE;   // of the last packet written, stream time base
  int64_t FEndPts = 0;                 // end of the last packet written, stream time base
  int64_t FFirstPts = AV_NOPTS_VALUE;  // start of the earliest packet written, stream time base
  int64_t FPacketsWritten = 0;         // what reached the file: a run that wrote none made nothing
  int64_t FBytesWritten = 0;
  int64_t FHeaderBytes = 0;
  TCodedFrame FCoded;
  TFileHolder FLogFile;                  // first-pass statistics
  std::vector<uint8_t> FSubtitleBuffer;  // an encoded subtitle
};

}  // namespace korvane
