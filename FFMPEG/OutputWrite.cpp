// SPDX-License-Identifier: GPL-3.0-or-later
// Where every packet leaves a run: encoding frames into packets, the write
// routine with its timestamp checks, and subtitle output.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "MyUtil.h"
#include "SubtitleTiming.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};
constexpr AVRational Milliseconds{1, 1000};

// What the encoder says of the frame it coded: quality, picture type and the
// squared errors of the planes.
void ReadCodedFrame(TOutputStream &Ost, const AVPacket &Packet) {
  size_t Size = 0;
  const uint8_t *Stats = LibAVCodec::av_packet_get_side_data(&Packet, AV_PKT_DATA_QUALITY_STATS, &Size);
  if (!Stats || Size < 5) return;
  Ost.HasCodedFrame = true;
  Ost.CodedQuality =
      static_cast<int>(Stats[0] | Stats[1] << 8 | Stats[2] << 16 | static_cast<uint32_t>(Stats[3]) << 24);
  Ost.CodedPictType = LibAVUtil::av_get_picture_type_char(static_cast<AVPictureType>(Stats[4]));
  const int Errors = Size >= 6 ? Stats[5] : 0;
  for (int I = 0; I < 3 && I < Errors && 8 + 8 * (I + 1) <= static_cast<int>(Size); ++I) {
    uint64_t Error = 0;
    for (int B = 7; B >= 0; --B) Error = Error << 8 | Stats[8 + 8 * I + B];
    Ost.CodedError[I] = Error;
  }
}

}  // namespace

void TTranscoder::WritePacket(TOutputStream &Ost, AVPacket &Packet) {
  AVFormatContext *Output = FState.FOutputFiles[Ost.FileIndex].get();
  Packet.stream_index = Ost.Index;
  // Muxers refuse decode times that go back; sources with repeated or
  // jumping times must not end the conversion, so such times are moved on.
  if (!(Output->oformat->flags & AVFMT_NOTIMESTAMPS)) {
    if (Packet.dts != AV_NOPTS_VALUE && Ost.LastDts != AV_NOPTS_VALUE) {
      const int64_t Least = Ost.LastDts + ((Output->oformat->flags & AVFMT_TS_NONSTRICT) ? 0 : 1);
      if (Packet.dts < Least) {
        if (Packet.pts != AV_NOPTS_VALUE && Packet.pts < Least) Packet.pts = Least;
        Packet.dts = Least;
      }
    }
    if (Packet.pts != AV_NOPTS_VALUE && Packet.dts != AV_NOPTS_VALUE && Packet.pts < Packet.dts)
      Packet.pts = Packet.dts;
  }
  if (Packet.dts != AV_NOPTS_VALUE) Ost.LastDts = Packet.dts;
  const int Size = Packet.size;  // the muxer takes the packet over
  const int64_t Start = Packet.pts != AV_NOPTS_VALUE ? Packet.pts : Packet.dts;
  if (Start != AV_NOPTS_VALUE) {
    Ost.EndPts = std::max(Ost.EndPts, Start + std::max<int64_t>(Packet.duration, 0));
    if (Ost.FirstPts == AV_NOPTS_VALUE || Start < Ost.FirstPts) Ost.FirstPts = Start;
  }

  const int Result = LibAVFormat::av_interleaved_write_frame(Output, &Packet);
  if (Result < 0) throw FFMpegException(TAVProbe::OpenErrorText("av_interleaved_write_frame()", Result));
  // An empty packet (an encoder's last word on its headers) holds no media.
  if (Size > 0) ++Ost.PacketsWritten;
}

void TTranscoder::CloseOutputFiles() {
  const TOptionState &S = FState;
  // The source's dates, for outputs that keep them (a clip stays filed
  // under the day it was shot).
  struct stat Source {};
  const bool KeepDate = S.FKeepFileDate && S.FInputFileCount > 0 && stat(S.FInputFiles[0]->url, &Source) == 0;
  for (int I = 0; I < S.FOutputFileCount; ++I) {
    AVFormatContext *Output = S.FOutputFiles[I].get();
    if ((Output->oformat->flags & AVFMT_NOFILE) || !Output->pb) continue;
    const int Result = LibAVFormat::avio_closep(&Output->pb);
    if (Result < 0)
      throw FFMpegException(
          Format("Could not close '%s': %s", Output->url, TAVProbe::ErrorDescription(Result).c_str()));
    const timespec Times[2] = {Source.st_atim, Source.st_mtim};
    if (KeepDate && utimensat(AT_FDCWD, Output->url, Times, 0) != 0)
      FTask.Log(0, Format("The date of '%s' could not be set: %s", Output->url, std::strerror(errno)));
  }
}

void TTranscoder::CheckSomethingWritten() {
  TOptionState &S = FState;
  // A first pass is run for its statistics: some encoders (libvpx) give
  // no pictures in it at all.
  if (S.FDoPass == 1) return;
  for (int I = 0; I < S.FOutputFileCount; ++I) {
    int64_t Packets = 0;
    for (const auto &Ost : FOutputStreams)
      if (Ost->FileIndex == I) Packets += Ost->PacketsWritten;
    if (Packets > 0) {
      for (const auto &Ost : FOutputStreams)
        if (Ost->FileIndex == I && Ost->PacketsWritten == 0 &&
            Ost->Stream->codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT)  // attachments have no packets
          FTask.Log(0, Format("Output stream #%d.%d (%s) received no packets", I, Ost->Index,
                              LibAVUtil::av_get_media_type_string(Ost->Stream->codecpar->codec_type)));
      CheckPicturesWritten(I);
      continue;
    }
    // A file without a single packet is no conversion, whatever made it so.
    S.FDiscardOutputs = true;
    if (FTask.FStopRequested) continue;
    // The options that may have left nothing are named only when given.
    std::string Text =
        Format("Output file #%d (%s) is empty: nothing was encoded. The source may be damaged or too short",
               I, S.FOutputFiles[I]->url);
    const std::string Limits = LimitOptionsGiven();
    if (Limits.find(',') != std::string::npos)
      Text += ", or the options (" + Limits + ") leave nothing to convert";
    else if (!Limits.empty())
      Text += ", or the option " + Limits + " leaves nothing to convert";
    throw FFMpegException(Text);
  }
}

std::string TTranscoder::LimitOptionsGiven() const {
  const TOptionState &S = FState;
  std::string Names;
  const auto Add = [&Names](bool Given, const char *Name) {
    if (Given) Names += (Names.empty() ? "" : ", ") + std::string(Name);
  };
  Add(S.FStartTime != 0, "ss");
  Add(S.FRecordingTime != INT64_MAX, "t");
  Add(S.FLimitFileSize != 0, "fs");
  Add(S.FMaxFrames[0] != INT_MAX, "vframes");
  Add(S.FMaxFrames[1] != INT_MAX, "aframes");
  return Names;
}

void TTranscoder::CheckPicturesWritten(int File) {
  // The output of a source with a picture, through a format that writes
  // one, holds pictures: sound alone from a film is a failure, not a
  // conversion. A run stopped before its first picture is no failure, but
  // its output, a moment of sound, goes as an empty one does.
  const auto Picture = [this, File](const std::unique_ptr<TOutputStream> &Ost) {
    return Ost->FileIndex == File && Ost->Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           FollowsFilm(*Ost);
  };
  bool Expected = false;
  for (const auto &Ost : FOutputStreams) {
    if (Picture(Ost) && Ost->PacketsWritten > 0) return;
    Expected |= Picture(Ost);
  }
  if (!Expected) return;
  FState.FDiscardOutputs = true;
  if (FTask.FStopRequested) return;
  for (const auto &Ost : FOutputStreams) {
    if (!Picture(Ost)) continue;
    const TInputStream &Ist = *FInputStreams[Ost->SourceIndex];
    const char *Name = FState.FInputFiles[Ist.FileIndex]->url;
    // Pictures there were, decoded or copied: the options or the times of
    // the source left none.
    if (Ost->EncodingNeeded ? Ist.FramesDecoded > 0 : Ist.PacketsRead > 0) {
      const std::string Limits = LimitOptionsGiven();
      throw FFMpegException(
          Limits.empty()
              ? Format("no picture of %s reached the output: the times of its pictures may be damaged", Name)
              : Format("no picture of %s reached the output: the options (%s) leave none", Name,
                       Limits.c_str()));
    }
    const std::string Cause = Ist.LastDecodeError < 0 ? TAVProbe::ErrorDescription(Ist.LastDecodeError)
                              : Ist.PacketsRead == 0  ? "the file holds no picture data that can be read"
                                                      : "the decoder gave no picture";
    throw FFMpegException(Format("the picture of %s could not be decoded: %s", Name, Cause.c_str()));
  }
}

namespace {

// A frame of the encoder's own kind with nothing in it: black or silent.
TFrameHolder BlankFrame(const AVCodecContext *Enc) {
  TFrameHolder Frame(LibAVUtil::av_frame_alloc());
  if (!Frame) return nullptr;
  if (Enc->codec_type == AVMEDIA_TYPE_VIDEO) {
    Frame->format = Enc->pix_fmt;
    Frame->width = Enc->width;
    Frame->height = Enc->height;
  } else {
    Frame->format = Enc->sample_fmt;
    Frame->sample_rate = Enc->sample_rate;
    Frame->nb_samples = Enc->frame_size > 0 ? Enc->frame_size : 1024;
    if (LibAVUtil::av_channel_layout_copy(&Frame->ch_layout, &Enc->ch_layout) < 0) return nullptr;
  }
  if (LibAVUtil::av_frame_get_buffer(Frame.get(), 0) < 0) return nullptr;
  for (AVBufferRef *Buffer : Frame->buf)
    if (Buffer) std::memset(Buffer->data, 0, Buffer->size);
  Frame->pts = 0;
  return Frame;
}

}  // namespace

void TTranscoder::EndEncoding(TOutputStream &Ost) {
  AVCodecContext *Enc = Ost.Encoder;
  if (!Ost.EncodingNeeded || !LibAVCodec::avcodec_is_open(Enc) || Enc->codec_type == AVMEDIA_TYPE_SUBTITLE)
    return;
  // Some encoders (SVT-AV1) wait forever in their close when they were
  // never told of the end, and in their end when they never got a frame
  // (a run failed before its pictures reached them): such an encoder gets
  // a blank frame first. What comes out now goes nowhere.
  if (Ost.FramesSent == 0) {
    const TFrameHolder Blank = BlankFrame(Enc);
    if (!Blank || LibAVCodec::avcodec_send_frame(Enc, Blank.get()) < 0) return;
  }
  if (LibAVCodec::avcodec_send_frame(Enc, nullptr) < 0) return;  // told already
  TPacketHolder Packet(LibAVCodec::av_packet_alloc());
  if (!Packet) return;
  while (LibAVCodec::avcodec_receive_packet(Enc, Packet.get()) >= 0)
    LibAVCodec::av_packet_unref(Packet.get());
}

int TTranscoder::EncodeAndWrite(TOutputStream &Ost, AVFrame *Frame) {
  TOptionState &S = FState;
  AVCodecContext *Enc = Ost.Encoder;
  // An encoder that never got a frame is ended when it is closed (EndEncoding).
  if (!Frame && Ost.FramesSent == 0) return 0;
  const bool Video = Enc->codec_type == AVMEDIA_TYPE_VIDEO;
  const auto Failed = [&]() {
    if (Video) throw FFMpegException("Video encoding failed");
    // A failed audio frame is left out; the conversion goes on.
    FTask.Log(0, Format("Audio encoding failed for output stream #%d.%d", Ost.FileIndex, Ost.Index));
    return 0;
  };
  int Result = LibAVCodec::avcodec_send_frame(Enc, Frame);
  if (Result == AVERROR_EOF) return 0;  // already drained
  if (Result < 0) return Failed();
  if (Frame) ++Ost.FramesSent;

  TPacketHolder Packet(LibAVCodec::av_packet_alloc());
  if (!Packet) throw FFMpegException("av_mallocz fail");
  int Written = 0;
  for (;;) {
    Result = LibAVCodec::avcodec_receive_packet(Enc, Packet.get());
    // Some encoders (libvpx) give their first pass's statistics only at
    // the end, with no packet.
    if (Result == AVERROR_EOF && Ost.LogFile && Enc->stats_out)
      MyUtil::my_fprintf(Ost.LogFile.get(), "%s", Enc->stats_out);
    if (Result == AVERROR(EAGAIN) || Result == AVERROR_EOF) break;
    if (Result < 0) return Failed();
    if (Video) {
      ReadCodedFrame(Ost, *Packet);
      if (Packet->duration <= 0) Packet->duration = 1;  // one frame of the encoder's clock
      S.FVideoSize += Packet->size;
    } else {
      S.FAudioSize += Packet->size;
    }
    if (Ost.LogFile && Enc->stats_out) MyUtil::my_fprintf(Ost.LogFile.get(), "%s", Enc->stats_out);
    LibAVCodec::av_packet_rescale_ts(Packet.get(), Enc->time_base, Ost.Stream->time_base);
    Written += Packet->size;
    WritePacket(Ost, *Packet);
  }
  return Written;
}

void TTranscoder::SubtitleOut(TOutputStream &Ost, TInputStream &Ist, AVSubtitle &Subtitle,
                              int64_t PacketPts) {
  if (PacketPts == AV_NOPTS_VALUE) {
    FTask.Log(0, "Subtitle packets must have a pts");
    return;
  }
  AVCodecContext *Enc = Ost.Encoder;
  if (FSubtitleBuffer.empty()) FSubtitleBuffer.resize(65536);
  const bool DVB = Enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  const AVRational From = Ist.Stream->time_base, To = Ost.Stream->time_base;
  Subtitle.pts = LibAVUtil::av_rescale_q(PacketPts, From, Microseconds);
  {
    int64_t Start = Subtitle.pts + int64_t(Subtitle.start_display_time) * 1000;
    int64_t End = Subtitle.pts + int64_t(Subtitle.end_display_time) * 1000;
    if (!FitSubtitle(Start, End, FState.FRecordingTime)) return;
    if (Start != Subtitle.pts + int64_t(Subtitle.start_display_time) * 1000) {
      // Shown from the output's start: the part before it is cut off.
      PacketPts = 0;
      Subtitle.pts = 0;
      Subtitle.start_display_time = 0;
      Subtitle.end_display_time = static_cast<uint32_t>(End / 1000);
    }
  }
  const unsigned Rects = Subtitle.num_rects;
  // DVB subtitles are shown by one packet and cleared by a second, empty one.
  for (int Pass = 0; Pass < (DVB ? 2 : 1); ++Pass) {
    if (Pass == 1) Subtitle.num_rects = 0;
    const int Size = LibAVCodec::avcodec_encode_subtitle(Enc, FSubtitleBuffer.data(),
                                                         static_cast<int>(FSubtitleBuffer.size()), &Subtitle);
    if (Size < 0) {
      FTask.Log(0, Format("Subtitle encoding failed for output stream #%d.%d", Ost.FileIndex, Ost.Index));
      break;
    }
    TPacketHolder Packet(LibAVCodec::av_packet_alloc());
    if (!Packet || LibAVCodec::av_new_packet(Packet.get(), Size) < 0)
      throw FFMpegException("av_mallocz fail");
    std::memcpy(Packet->data, FSubtitleBuffer.data(), static_cast<size_t>(Size));
    Packet->pts = LibAVUtil::av_rescale_q(PacketPts, From, To);
    if (DVB) {
      const uint32_t Shown = Pass == 0 ? Subtitle.start_display_time : Subtitle.end_display_time;
      Packet->pts += LibAVUtil::av_rescale_q(Shown, Milliseconds, To);
    } else {
      Packet->duration =
          LibAVUtil::av_rescale_q(Subtitle.end_display_time - Subtitle.start_display_time, Milliseconds, To);
    }
    Packet->dts = Packet->pts;
    WritePacket(Ost, *Packet);
  }
  Subtitle.num_rects = Rects;
}

}  // namespace korvane
