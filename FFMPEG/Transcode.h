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
#include "FFmpeg.h"
#include "PictureOps.h"
#include "VideoHooks.h"

namespace korvane {

// A queue of bytes: decoded 16-bit samples waiting for a whole encoder frame.
class TByteQueue {
 public:
  size_t Size() const { return FData.size() - FStart; }
  void Append(const uint8_t *Data, size_t Count);
  // Removes the first Count bytes (at most Size()) into Target.
  void Take(uint8_t *Target, size_t Count);

 private:
  std::vector<uint8_t> FData;
  size_t FStart = 0;
};

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
  // Decoded audio as signed 16-bit interleaved samples, the form the audio
  // output works on.
  TResamplerHolder ToS16;
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
  int64_t LastDts = AV_NOPTS_VALUE;  // of the last packet written, stream time base
  int64_t EndPts = 0;                // end of the last packet written, stream time base
  int64_t PacketsWritten = 0;        // what reached the muxer: a run that wrote none made nothing

  // Video
  bool VideoResample = false;
  TFrameHolder TempPicture;
  // Keeping the frame rate, a picture is written once the next one tells
  // how many frame slots it covers: the picture waiting for that, and the
  // end of its own duration (microseconds, input clock) for the last one.
  TFrameHolder HeldPicture;
  int64_t HeldEnd = 0;
  TScalerHolder ScaleContext;
  bool VideoCrop = false;
  int TopBand = 0, LeftBand = 0;
  bool VideoPad = false;
  int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;

  // Audio
  bool AudioResample = false;
  TResamplerHolder Resampler;  // source rate and channels to the encoder's
  int ResamplerRate = 0;       // the source side it was made for
  TChannelLayout ResamplerLayout;
  TByteQueue SampleFifo;
  std::vector<uint8_t> AudioBuffer;  // resampler output
  std::vector<uint8_t> FrameBuffer;  // one encoder frame read from the fifo
  std::vector<uint8_t> Silence;      // a chunk with silence in front
  TResamplerHolder ToEncoder;        // 16-bit interleaved to the encoder's sample format
  TFrameHolder EncoderFrame;

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
  // The crop, scale and pad steps of an encoded video stream, for the
  // decoder's pictures as they reach it (turned upright).
  void DeriveVideoScaling(TOutputStream &Ost, const TInputStream &Ist);
  void OpenPassLog(TOutputStream &Ost, int Position);
  void OpenCodecs();
  void CopyMetaData();
  void WriteHeaders();

  // Loop and packet path
  int ProcessPacket(TInputStream &Ist, AVPacket *Packet);
  int DecodeAudio(TInputStream &Ist, AVPacket *Packet);
  int DecodeVideo(TInputStream &Ist, AVPacket *Packet);
  int DecodeSubtitle(TInputStream &Ist, AVPacket *Packet);
  void EmulateRate(TInputStream &Ist);
  bool StartReached(const TInputStream &Ist) const;
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
  // The options given that limit what is converted (ss, t, fs, vframes,
  // aframes), named as in option lines, comma-separated.
  std::string LimitOptionsGiven() const;
  // Sends Frame (none: flush) to Ost's encoder and writes what comes out;
  // returns the bytes written.
  int EncodeAndWrite(TOutputStream &Ost, AVFrame *Frame);
  void AudioOut(TOutputStream &Ost, TInputStream &Ist, const uint8_t *Data, int Size);
  // The end of an audio output: what the resampler holds back, the last
  // short frame (padded with silence where the encoder takes whole frames
  // only), then the encoder's own delay.
  void FinishAudio(TOutputStream &Ost);
  void MakeResampler(TOutputStream &Ost, const TInputStream &Ist);
  // Resamples a chunk (none: what the resampler still holds) in slices of
  // bounded size and passes each on, so a source rate far below the
  // encoder's cannot make one chunk into an unbounded buffer.
  void ResampleAndQueue(TOutputStream &Ost, const uint8_t *Data, int SampleCount);
  // Cuts samples into the encoder's frames through the stream's fifo, or
  // passes them on whole to a sample-based encoder.
  void QueueSamples(TOutputStream &Ost, const uint8_t *Data, int SampleCount);
  void EncodeAudioSamples(TOutputStream &Ost, const uint8_t *Data, int SampleCount);
  // Prepares a decoded picture once for all its outputs (deinterlacing,
  // then turning it upright); returns the picture to encode: Picture itself
  // or one of the stream's work pictures.
  AVFrame *PreprocessVideo(TInputStream &Ist, AVFrame *Picture);
  int VideoOut(TOutputStream &Ost, TInputStream &Ist, AVFrame *Picture);
  // Crops, scales and pads Picture into the encoder's picture; none (after
  // saying why) when that fails. Cropped keeps a cut-out view alive.
  AVFrame *FormatPicture(TOutputStream &Ost, AVFrame *Picture, TFrameHolder &Cropped);
  // Counts a picture written Frames times: 0 is a drop, more than 1 repeats.
  void CountDropsAndRepeats(int64_t Frames);
  // Writes the held picture into Slots frame slots (none: it is dropped),
  // counting the drop or the repeats; returns the bytes written.
  int WriteHeldPicture(TOutputStream &Ost, int64_t Slots);
  // The end of a video output: the held picture for the rest of its
  // duration, then the encoder's own delay.
  void FinishVideo(TOutputStream &Ost);
  void SubtitleOut(TOutputStream &Ost, TInputStream &Ist, AVSubtitle &Subtitle, int64_t PacketPts);

  // Gives Final the flags of the decoded picture it shows.
  void SetPictureFlags(TOutputStream &Ost, const TInputStream &Ist, AVFrame *Final, const AVFrame *Decoded);
  // Encodes Final at the stream's next frame slot.
  int EncodePicture(TOutputStream &Ost, AVFrame *Final);

  // Progress
  void PrintReport(bool IsLastReport);
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
