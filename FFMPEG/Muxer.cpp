// SPDX-License-Identifier: GPL-3.0-or-later
// Where every packet of an output stream leaves a run: its encoder is fed
// and emptied, copied packets and subtitles are timed for the output, and
// the write routine keeps the decode times rising.
#include "Muxer.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "MyUtil.h"
#include "SubtitleTiming.h"
#include "TextFormat.h"

namespace korvane {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};
constexpr AVRational Milliseconds{1, 1000};

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

double PSNR(double Error) { return -10.0 * std::log10(Error); }

}  // namespace

TMuxer::TMuxer(TCustomFFmpeg &Task, TOptionState &State, int File, int Index)
    : FTask(Task),
      FState(State),
      FFile(File),
      FIndex(Index),
      FCopy(State.FOutputStreams[File][Index].StreamCopy),
      FStream(State.FOutputFiles[File]->streams[Index]),
      FEncoder(State.FOutputStreams[File][Index].Encoder.get()) {}

void TMuxer::Connect(const TStreamView &Source, bool PicturesCopied) {
  FSource = &Source;
  FPicturesCopied = PicturesCopied;
}

void TMuxer::OpenPassLog(int Position) {
  AVCodecContext *Enc = FEncoder;
  if (!(Enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) return;
  const std::string Base = FState.FPassLogFileName.empty() ? "ffmpeg2pass" : FState.FPassLogFileName;
  const std::string Name = (Base + "-" + std::to_string(Position) + ".log").substr(0, 1023);
  if (Enc->flags & AV_CODEC_FLAG_PASS1) {
    FLogFile.reset(MyUtil::my_fopen(Name.c_str(), "w"));
    if (!FLogFile) throw FFMpegException("creat file fail: " + Name);
    return;
  }
  TFileHolder File(MyUtil::my_fopen(Name.c_str(), "r"));
  if (!File) throw FFMpegException("creat open fail: " + Name);
  MyUtil::my_fseek(File.get(), 0, SEEK_END);
  const long Size = std::max(MyUtil::my_ftell(File.get()), 0L);
  MyUtil::my_fseek(File.get(), 0, SEEK_SET);
  char *Text = static_cast<char *>(LibAVUtil::av_malloc(static_cast<size_t>(Size) + 1));
  if (!Text) throw FFMpegException("Could not allocate log buffer");
  const size_t Read = MyUtil::my_fread(Text, 1, static_cast<size_t>(Size), File.get());
  Text[Read] = '\0';
  LibAVUtil::av_freep(&Enc->stats_in);
  Enc->stats_in = Text;
}

bool TMuxer::TakeEncoderParameters() {
  if (LibAVCodec::avcodec_parameters_from_context(FStream->codecpar, FEncoder) < 0) return false;
  FStream->time_base = FEncoder->time_base;
  FHeaderBytes = FEncoder->extradata_size;
  return true;
}

bool TMuxer::FollowsFilm() const {
  const AVMediaType Kind = Type();
  return (Kind == AVMEDIA_TYPE_AUDIO || Kind == AVMEDIA_TYPE_VIDEO) &&
         !(FSource->Stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

double TMuxer::OutputTime() const {
  if (FEncoder && FEncoder->codec_type == AVMEDIA_TYPE_VIDEO)
    return static_cast<double>(FPosition) * av_q2d(FPositionBase);
  return static_cast<double>(FEndPts) * av_q2d(FStream->time_base);
}

void TMuxer::WritePacket(AVPacket &Packet) {
  AVFormatContext *Output = FState.FOutputFiles[FFile].get();
  Packet.stream_index = FIndex;
  // Muxers refuse decode times that go back; sources with repeated or
  // jumping times must not end the conversion, so such times are moved on.
  // Pictures get times that rise strictly even where the container would
  // take a repeated one: players and decoders read two pictures at one time
  // as damage. Sound and subtitles may share a time there (sound in frames
  // shorter than the container's tick).
  if (!(Output->oformat->flags & AVFMT_NOTIMESTAMPS)) {
    if (Packet.dts != AV_NOPTS_VALUE && FLastDts != AV_NOPTS_VALUE) {
      const bool Shared = (Output->oformat->flags & AVFMT_TS_NONSTRICT) && Type() != AVMEDIA_TYPE_VIDEO;
      const int64_t Least = FLastDts + (Shared ? 0 : 1);
      if (Packet.dts < Least) {
        if (Packet.pts != AV_NOPTS_VALUE && Packet.pts < Least) Packet.pts = Least;
        Packet.dts = Least;
      }
    }
    if (Packet.pts != AV_NOPTS_VALUE && Packet.dts != AV_NOPTS_VALUE && Packet.pts < Packet.dts)
      Packet.pts = Packet.dts;
  }
  if (Packet.dts != AV_NOPTS_VALUE) FLastDts = Packet.dts;
  const int Size = Packet.size;  // the muxer takes the packet over
  const int64_t Start = Packet.pts != AV_NOPTS_VALUE ? Packet.pts : Packet.dts;
  if (Start != AV_NOPTS_VALUE) {
    FEndPts = std::max(FEndPts, Start + std::max<int64_t>(Packet.duration, 0));
    if (FFirstPts == AV_NOPTS_VALUE || Start < FFirstPts) FFirstPts = Start;
  }

  const int Result = LibAVFormat::av_interleaved_write_frame(Output, &Packet);
  if (Result < 0) throw FFMpegException(TAVProbe::OpenErrorText("av_interleaved_write_frame()", Result));
  // An empty packet (an encoder's last word on its headers) holds no media.
  if (Size > 0) ++FPacketsWritten;
}

void TMuxer::ReadCodedFrame(const AVPacket &Packet) {
  size_t Size = 0;
  const uint8_t *Stats = LibAVCodec::av_packet_get_side_data(&Packet, AV_PKT_DATA_QUALITY_STATS, &Size);
  if (!Stats || Size < 5) return;
  FCoded.Known = true;
  FCoded.Quality =
      static_cast<int>(Stats[0] | Stats[1] << 8 | Stats[2] << 16 | static_cast<uint32_t>(Stats[3]) << 24);
  FCoded.PictType = LibAVUtil::av_get_picture_type_char(static_cast<AVPictureType>(Stats[4]));
  const int Errors = Size >= 6 ? Stats[5] : 0;
  for (int I = 0; I < 3 && I < Errors && 8 + 8 * (I + 1) <= static_cast<int>(Size); ++I) {
    uint64_t Error = 0;
    for (int B = 7; B >= 0; --B) Error = Error << 8 | Stats[8 + 8 * I + B];
    FCoded.Error[I] = Error;
  }
}

int TMuxer::Encode(AVFrame *Frame) {
  AVCodecContext *Enc = FEncoder;
  // An encoder that never got a frame is ended when it is closed (EndEncoding).
  if (!Frame && FFramesSent == 0) return 0;
  const bool Video = Enc->codec_type == AVMEDIA_TYPE_VIDEO;
  if (Frame && Video) ++FFrames;
  const auto Failed = [&]() {
    if (Video) throw FFMpegException("Video encoding failed");
    // A failed audio frame is left out; the conversion goes on.
    FTask.Log(0, Format("Audio encoding failed for output stream #%d.%d", FFile, FIndex));
    return 0;
  };
  int Result = LibAVCodec::avcodec_send_frame(Enc, Frame);
  if (Result == AVERROR_EOF) return 0;  // already drained
  if (Result < 0) return Failed();
  if (Frame) ++FFramesSent;

  TPacketHolder Packet(LibAVCodec::av_packet_alloc());
  if (!Packet) throw FFMpegException("av_mallocz fail");
  int Written = 0;
  for (;;) {
    Result = LibAVCodec::avcodec_receive_packet(Enc, Packet.get());
    // Some encoders (libvpx) give their first pass's statistics only at
    // the end, with no packet.
    if (Result == AVERROR_EOF && FLogFile && Enc->stats_out)
      MyUtil::my_fprintf(FLogFile.get(), "%s", Enc->stats_out);
    if (Result == AVERROR(EAGAIN) || Result == AVERROR_EOF) break;
    if (Result < 0) return Failed();
    if (Video) {
      ReadCodedFrame(*Packet);
      if (Packet->duration <= 0) Packet->duration = 1;  // one frame of the encoder's clock
    }
    FBytesWritten += Packet->size;
    if (FLogFile && Enc->stats_out) MyUtil::my_fprintf(FLogFile.get(), "%s", Enc->stats_out);
    LibAVCodec::av_packet_rescale_ts(Packet.get(), Enc->time_base, FStream->time_base);
    Written += Packet->size;
    WritePacket(*Packet);
  }
  return Written;
}

void TMuxer::EndEncoding() {
  AVCodecContext *Enc = std::exchange(FEncoder, nullptr);
  if (!Enc || FCopy || !LibAVCodec::avcodec_is_open(Enc) || Enc->codec_type == AVMEDIA_TYPE_SUBTITLE) return;
  // Some encoders (SVT-AV1) wait forever in their close when they were
  // never told of the end, and in their end when they never got a frame
  // (a run failed before its pictures reached them): such an encoder gets
  // a blank frame first. What comes out now goes nowhere.
  if (FFramesSent == 0) {
    const TFrameHolder Blank = BlankFrame(Enc);
    if (!Blank || LibAVCodec::avcodec_send_frame(Enc, Blank.get()) < 0) return;
  }
  if (LibAVCodec::avcodec_send_frame(Enc, nullptr) < 0) return;  // told already
  TPacketHolder Packet(LibAVCodec::av_packet_alloc());
  if (!Packet) return;
  while (LibAVCodec::avcodec_receive_packet(Enc, Packet.get()) >= 0)
    LibAVCodec::av_packet_unref(Packet.get());
}

bool TMuxer::BeforeTheStart(const AVPacket &Packet) const {
  // With a start time the output's clock begins there. A copied picture
  // stream begins at the key frame before it, and the sound copied with it
  // keeps its time; with the pictures made anew, sound and subtitles that
  // are over by the start are left out, or they would come first and
  // shift the whole output by their time before the start.
  if (Packet.pts == AV_NOPTS_VALUE || FState.FInputFilesStart[FSource->FileIndex] == 0 || FPicturesCopied)
    return false;
  const int64_t End = Packet.pts + std::max<int64_t>(Packet.duration, 0);
  return LibAVUtil::av_rescale_q(End, FSource->Stream->time_base, Microseconds) <= 0;
}

void TMuxer::CopyPacket(const AVPacket &Packet) {
  const AVMediaType Kind = Type();
  const TStreamView &Ist = *FSource;
  // A cover kept as an attached file has its picture already, and no packets.
  if (Kind == AVMEDIA_TYPE_ATTACHMENT) return;
  // A copy starts at a key frame: what comes before it cannot be decoded.
  if (FFrames == 0 && !(Packet.flags & AV_PKT_FLAG_KEY)) return;
  if (FFrames == 0 && Ist.Pts < -100000 && Kind == AVMEDIA_TYPE_VIDEO)
    FTask.Log(0, Format("The copy starts at the key frame %.2f s before the start asked for: a copy can only "
                        "begin on a key frame",
                        static_cast<double>(-Ist.Pts) / 1000000.0));
  if (Kind != AVMEDIA_TYPE_VIDEO && BeforeTheStart(Packet)) return;
  TPacketHolder Out(LibAVCodec::av_packet_alloc());
  if (!Out || LibAVCodec::av_packet_ref(Out.get(), &Packet) < 0) throw FFMpegException("av_mallocz fail");
  if (Kind == AVMEDIA_TYPE_AUDIO || Kind == AVMEDIA_TYPE_VIDEO) FBytesWritten += Packet.size;
  if (Kind == AVMEDIA_TYPE_VIDEO) ++FPosition;
  const AVRational From = Ist.Stream->time_base, To = FStream->time_base;
  Out->pts = Packet.pts != AV_NOPTS_VALUE ? LibAVUtil::av_rescale_q(Packet.pts, From, To) : AV_NOPTS_VALUE;
  Out->dts = Packet.dts != AV_NOPTS_VALUE ? LibAVUtil::av_rescale_q(Packet.dts, From, To)
                                          : LibAVUtil::av_rescale_q(Ist.Pts, Microseconds, To);
  Out->duration = LibAVUtil::av_rescale_q(Packet.duration, From, To);
  if (Kind == AVMEDIA_TYPE_SUBTITLE && Out->pts != AV_NOPTS_VALUE) {
    const int64_t Shown = LibAVUtil::av_rescale_q(Out->pts, To, Microseconds);
    const int64_t Until = Shown + LibAVUtil::av_rescale_q(Out->duration, To, Microseconds);
    int64_t Start = Shown, End = Until;
    if (!FitSubtitle(Start, End, FState.FRecordingTime)) return;
    if (Start != Shown) Out->pts = Out->dts = 0;
    if (Start != Shown || End != Until)
      Out->duration = LibAVUtil::av_rescale_q(End - Start, Microseconds, To);
  }
  WritePacket(*Out);
  ++FFrames;
}

void TMuxer::SubtitleOut(AVSubtitle &Subtitle, int64_t PacketPts) {
  if (PacketPts == AV_NOPTS_VALUE) {
    FTask.Log(0, "Subtitle packets must have a pts");
    return;
  }
  AVCodecContext *Enc = FEncoder;
  if (FSubtitleBuffer.empty()) FSubtitleBuffer.resize(65536);
  const bool DVB = Enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  const AVRational From = FSource->Stream->time_base, To = FStream->time_base;
  Subtitle.pts = LibAVUtil::av_rescale_q(PacketPts, From, Microseconds);
  {
    int64_t Start = Subtitle.pts + int64_t(Subtitle.start_display_time) * 1000;
    int64_t End = Subtitle.pts + int64_t(Subtitle.end_display_time) * 1000;
    const int64_t Until = End;
    if (!FitSubtitle(Start, End, FState.FRecordingTime)) return;
    if (Start != Subtitle.pts + int64_t(Subtitle.start_display_time) * 1000) {
      // Shown from the output's start: the part before it is cut off.
      PacketPts = 0;
      Subtitle.pts = 0;
      Subtitle.start_display_time = 0;
      Subtitle.end_display_time = static_cast<uint32_t>(End / 1000);
    } else if (End != Until) {
      // Shown until the output's end: the part after it is cut off.
      Subtitle.end_display_time = static_cast<uint32_t>((End - Subtitle.pts) / 1000);
    }
  }
  const unsigned Rects = Subtitle.num_rects;
  // DVB subtitles are shown by one packet and cleared by a second, empty one.
  for (int Pass = 0; Pass < (DVB ? 2 : 1); ++Pass) {
    if (Pass == 1) Subtitle.num_rects = 0;
    const int Size = LibAVCodec::avcodec_encode_subtitle(Enc, FSubtitleBuffer.data(),
                                                         static_cast<int>(FSubtitleBuffer.size()), &Subtitle);
    if (Size < 0) {
      FTask.Log(0, Format("Subtitle encoding failed for output stream #%d.%d", FFile, FIndex));
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
    WritePacket(*Packet);
  }
  Subtitle.num_rects = Rects;
}

void TMuxer::WriteVideoStats(int FrameSize) {
  TOptionState &S = FState;
  if (S.FVStatsFileName.empty() || FrameSize <= 0) return;
  if (!S.FVStatsFile) {
    S.FVStatsFile.reset(MyUtil::my_fopen(S.FVStatsFileName.c_str(), "w"));
    if (!S.FVStatsFile) throw FFMpegException("fopen fail: " + S.FVStatsFileName);
  }
  const AVCodecContext *Enc = FEncoder;
  if (!Enc || Enc->codec_type != AVMEDIA_TYPE_VIDEO) return;
  FILE *File = S.FVStatsFile.get();
  MyUtil::my_fprintf(File, "frame= %5d q= %2.1f ", FFrames,
                     FCoded.Quality / static_cast<double>(FF_QP2LAMBDA));
  if (Enc->flags & AV_CODEC_FLAG_PSNR)
    MyUtil::my_fprintf(
        File, "PSNR= %6.2f ",
        PSNR(static_cast<double>(FCoded.Error[0]) / (Enc->width * Enc->height * 255.0 * 255.0)));
  MyUtil::my_fprintf(File, "f_size= %6d ", FrameSize);
  const double TimeBase = av_q2d(Enc->time_base);
  const double Time = std::max(static_cast<double>(FPosition) * TimeBase, 0.01);
  const double BitRate = FrameSize * 8 / TimeBase / 1000;
  const double Average = static_cast<double>(FBytesWritten) * 8 / Time / 1000;
  MyUtil::my_fprintf(File, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                     static_cast<double>(FBytesWritten) / 1024, Time, BitRate, Average);
  MyUtil::my_fprintf(File, "type= %c\n", FCoded.PictType);
}

}  // namespace korvane
