// SPDX-License-Identifier: GPL-3.0-or-later
// The run of one task: the tables the set-up builds and the loop, the
// packet path, the audio and video outputs and the progress report share.
// Everything here lives for one call of TCustomFFmpeg::Transcode and is used
// only on the thread that runs the task.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "AVHolders.h"
#include "AudioPath.h"
#include "EncoderLink.h"
#include "FFmpeg.h"
#include "PictureOps.h"
#include "VideoHooks.h"
#include "VideoPath.h"

namespace korvane {

struct TInputFile {
  bool EofReached = false;
  int FirstStreamIndex = 0;  // index of the file's stream 0 in the input stream table
  int StreamCount = 0;
};

struct TInputStream {
  int FileIndex = 0;
  int StreamIndex = 0;
  AVStream *Stream = nullptr;
  AVCodecContext *Decoder = nullptr;  // owned by the option state
  bool Discard = true;                // no output stream takes it
  bool DecodingNeeded = false;
  bool RateEmu = false;
  int64_t Start = 0;  // wall clock at set-up, for rate emulation
  unsigned FrameCount = 0;
  int64_t FirstPts = 0;              // of the first data passed on, for rate emulation
  int64_t NextPts = AV_NOPTS_VALUE;  // microseconds
  int64_t Pts = 0;                   // microseconds
  bool IsStart = true;
  int Quality = 0;  // of the last decoded picture
  // What became of the stream's packets, to say why an output got nothing
  // from it: packets read, frames decoded, the decoder's last refusal.
  int64_t PacketsRead = 0;
  int64_t FramesDecoded = 0;
  int LastDecodeError = 0;
  TFrameHolder Frame;        // the decoded frame
  TFrameHolder WorkPicture;  // its deinterlaced copy, when asked for
  // The quarter turns clockwise (0, 90, 180, 270) that show the stream's
  // pictures upright, and the picture turned so for the outputs.
  int Rotation = 0;
  TFrameHolder TurnedPicture;
  TRotateScratch TurnScratch;
  // Decoded audio in the form the audio
  // output works on.
  TResamplerHolder ToWork;
  std::vector<uint8_t> Samples;
  int SampleRate = 0;  // of Samples
  int Channels = 0;
  TChannelLayout Layout;  // of Samples, as the decoder gave it
};

struct TOutputStream {
  int FileIndex = 0;
  int Index = 0;        // stream number inside its file
  int SourceIndex = 0;  // entry of the input stream table that feeds it
  AVStream *Stream = nullptr;
  AVCodecContext *Encoder = nullptr;  // owned by the option state; settings only for a copy
  bool StreamCopy = false;
  TStreamRef Source;  // the input stream it was made for, if any
  bool EncodingNeeded = false;
  int FrameNumber = 0;
  TInputStream *SyncInput = nullptr;
  int64_t SyncOpts = 0;  // frames or samples written, in the encoder's time base
  AVRational EncoderTimeBase{1, 25};
  int64_t LastDts = AV_NOPTS_VALUE;   // of the last packet written, stream time base
  int64_t EndPts = 0;                 // end of the last packet written, stream time base
  int64_t FirstPts = AV_NOPTS_VALUE;  // start of the earliest packet written, stream time base
  int64_t PacketsWritten = 0;         // what reached the muxer: a run that wrote none made nothing
  int64_t FramesSent = 0;             // frames given to the encoder

  // An encoded stream's way to its encoder and muxer, and the audio or
  // video path that reaches them through it (none for subtitles).
  std::unique_ptr<TEncoderLink> Link;
  std::unique_ptr<TAudioPath> Audio;
  std::unique_ptr<TVideoPath> Video;

  // What the encoder said of the last frame it coded.
  bool HasCodedFrame = false;
  int CodedQuality = 0;
  char CodedPictType = '?';
  uint64_t CodedError[3] = {};

  TFileHolder LogFile;  // first-pass statistics
};

class TTranscoder {
 public:
  explicit TTranscoder(TCustomFFmpeg &Task) : FTask(Task), FState(Task.State()) {}
  void Setup();
  void Loop();
  void CloseCodecs();

 private:
  // Set-up steps
  void BuildInputTables();
  void MapStreams();
  void DeriveParameters(TOutputStream &Ost, int Position);
  // A copy's stream parameters, from its source's.
  void DeriveCopyParameters(TOutputStream &Ost, const TInputStream &Ist);
  // An encoded stream's path (audio or video) and pass log.
  void StartEncoding(TOutputStream &Ost, TInputStream &Ist, int Position);
  void OpenPassLog(TOutputStream &Ost, int Position);
  void OpenCodecs();
  void CopyMetaData();
  void WriteHeaders();

  // Loop and packet path
  int ProcessPacket(TInputStream &Ist, AVPacket *Packet);
  // Sets Ist's clock to a decoded frame's own time, unless it is damaged.
  void TakeFrameTime(TInputStream &Ist, const AVFrame &Frame);
  int DecodeAudio(TInputStream &Ist, AVPacket *Packet);
  int DecodeVideo(TInputStream &Ist, AVPacket *Packet);
  // Prepares a decoded picture once for all its outputs (deinterlacing,
  // then turning it upright); returns the picture to encode: Picture itself
  // or one of the stream's work pictures.
  AVFrame *PreprocessVideo(TInputStream &Ist, AVFrame *Picture);
  int DecodeSubtitle(TInputStream &Ist, AVPacket *Packet);
  void EmulateRate(TInputStream &Ist);
  bool StartReached(const TInputStream &Ist) const;
  // Packet of a copied stream ends before the output's start, and the
  // pictures are not copied with it.
  bool BeforeTheStart(const TInputStream &Ist, const AVPacket &Packet) const;
  void CopyPacket(TOutputStream &Ost, TInputStream &Ist, const AVPacket &Packet);
  void DrainEncoders(TInputStream &Ist);
  void CorrectTimestamps(TInputStream &Ist, AVPacket &Packet);

  // Outputs
  void WritePacket(TOutputStream &Ost, AVPacket &Packet);
  // Closes the output files after their trailers, so that a failing last
  // write is a failed run, not a quietly short file.
  void CloseOutputFiles();
  // Raises the failure of a run that wrote no packet to an output (a
  // stopped one only has its outputs discarded).
  void CheckSomethingWritten();
  // Throws when output file File got no picture from a source that has one.
  void CheckPicturesWritten(int File);
  // Why a finished run's outputs hold much less than the sources declare
  // ("only 2.2 s of 6.0 s could be read; ..."), or empty when they do not.
  std::string Shortfall() const;
  // The options given that limit what is converted (ss, t, fs, vframes,
  // aframes), named as in option lines, comma-separated.
  std::string LimitOptionsGiven() const;
  // Sends Frame (none: flush) to Ost's encoder and writes what comes out;
  // returns the bytes written.
  int EncodeAndWrite(TOutputStream &Ost, AVFrame *Frame);
  // Ends an opened encoder in a way that cannot block, before it is closed.
  void EndEncoding(TOutputStream &Ost);
  void SubtitleOut(TOutputStream &Ost, TInputStream &Ist, AVSubtitle &Subtitle, int64_t PacketPts);

  // The link of one encoded output stream to its encoder and muxer.
  class TStreamLink final : public TEncoderLink {
   public:
    TStreamLink(TTranscoder &Run, TOutputStream &Ost) : FRun(Run), FOst(Ost) {}
    AVCodecContext *Encoder() const override { return FOst.Encoder; }
    int64_t &Position() override { return FOst.SyncOpts; }
    int &FramesEncoded() override { return FOst.FrameNumber; }
    int Encode(AVFrame *Frame) override { return FRun.EncodeAndWrite(FOst, Frame); }

   private:
    TTranscoder &FRun;
    TOutputStream &FOst;
  };

  // Progress
  void PrintReport(bool IsLastReport);
  // Whether an output stream's time is the film's (its picture or sound,
  // not a subtitle track or a cover), for progress and for the lengths.
  bool FollowsFilm(const TOutputStream &Ost) const;
  void WriteVideoStats(TOutputStream &Ost, int FrameSize);

  TCustomFFmpeg &FTask;
  TOptionState &FState;
  std::vector<TInputFile> FFiles;
  std::vector<std::unique_ptr<TInputStream>> FInputStreams;
  std::vector<std::unique_ptr<TOutputStream>> FOutputStreams;
  int64_t FLastReport = 0;
  std::vector<uint8_t> FSubtitleBuffer;
  TVideoHooks FVideoHooks{FTask, FState};
};

}  // namespace korvane
