// SPDX-License-Identifier: GPL-3.0-or-later
// The progress report of a run (frames, speed, quantiser, size, time, bit
// rate, handed to the progress callback or written as a status line), the
// summary at the end, and the run's totals for the task's owner.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>

#include "AVLibraries.h"
#include "MyUtil.h"
#include "TextFormat.h"
#include "Transcode.h"

namespace korvane {

namespace {

// How often each quantiser was used, over every task of the process.
std::array<std::atomic<int>, 52> QuantiserHistogram{};

// A bounded text buffer appended to with the utility library's snprintf.
class TReportText {
 public:
  template <typename... T>
  void Append(const char *Pattern, T... Values) {
    if (FUsed >= sizeof FText - 1) return;
    const int Written = MyUtil::my_snprintf(FText + FUsed, sizeof FText - FUsed, Pattern, Values...);
    if (Written > 0) FUsed = std::min(sizeof FText - 1, FUsed + static_cast<size_t>(Written));
  }
  const char *Text() const { return FText; }

 private:
  char FText[1024] = {};
  size_t FUsed = 0;
};

double PSNR(double Error) { return -10.0 * std::log10(Error); }

// The run's totals so far, summed over its streams into the option state,
// where the task's owner reads them: bytes of pictures and of sound, the
// encoders' global headers, pictures repeated and dropped.
void PublishTotals(const std::vector<std::unique_ptr<TOutputStream>> &Outputs, TOptionState &S) {
  S.FVideoSize = S.FAudioSize = S.FExtraSize = 0;
  S.FFramesDup = S.FFramesDrop = 0;
  for (const auto &Ost : Outputs) {
    const TMuxer &Mux = *Ost->Mux;
    if (Mux.Type() == AVMEDIA_TYPE_VIDEO) S.FVideoSize += Mux.BytesWritten();
    if (Mux.Type() == AVMEDIA_TYPE_AUDIO) S.FAudioSize += Mux.BytesWritten();
    S.FExtraSize += Mux.HeaderBytes();
    if (!Ost->Video) continue;
    S.FFramesDup += Ost->Video->Repeats();
    S.FFramesDrop += Ost->Video->Drops();
  }
}

}  // namespace

void TTranscoder::PrintReport(bool IsLastReport) {
  TOptionState &S = FState;
  PublishTotals(FOutputStreams, S);
  AVIOContext *IO = S.FOutputFileCount > 0 ? S.FOutputFiles[0]->pb : nullptr;
  int64_t TotalSize = IO ? LibAVFormat::avio_size(IO) : 0;
  if (TotalSize < 0 && IO) TotalSize = LibAVFormat::avio_seek(IO, 0, SEEK_CUR);
  TotalSize = std::max<int64_t>(TotalSize, 0);

  TReportText Text;
  double T = 1e10;
  // How far the conversion has come, for the progress event: like T, but an
  // encoder holding pictures back (a look-ahead) counts those it was given,
  // so the time agrees with the frame count.
  double Fed = 1e10;
  TProgressInfo Info;
  bool VideoSeen = false;
  bool Timed = false;  // an output stream follows the film's time
  for (const auto &Ost : FOutputStreams) Timed |= Ost->Mux->FollowsFilm();
  for (const auto &Ost : FOutputStreams) {
    const TMuxer &Mux = *Ost->Mux;
    const AVCodecContext *Enc = Mux.Encoder();
    const TCodedFrame &Coded = Mux.Coded();
    // A cover is a picture but not the film: its frame is not counted.
    const bool Video = Mux.Type() == AVMEDIA_TYPE_VIDEO && Mux.FollowsFilm();
    const float Quality =
        !Mux.Copies() && Coded.Known ? Coded.Quality / static_cast<float>(FF_QP2LAMBDA) : -1.0f;
    if (VideoSeen && Video) Text.Append("q=%2.1f ", Quality);
    if (!VideoSeen && Video) {
      const float Elapsed = static_cast<float>(LibAVUtil::av_gettime() - S.FTimerStart) / 1000000.0f;
      const int Frames = Mux.Frames();
      if (Frames < 1) return;  // nothing coded yet: no report at all
      const int FPS = Elapsed > 1 ? static_cast<int>(Frames / Elapsed + 0.5f) : 0;
      Text.Append("frame=%5d fps=%3d q=%3.1f ", Frames, FPS, Quality);
      if (IsLastReport) Text.Append("L");
      if (S.FQPHist) {
        const long QP = std::lround(Quality);
        if (QP >= 0 && QP < 52) ++QuantiserHistogram[static_cast<size_t>(QP)];
        for (int J = 0; J < 32; ++J)
          Text.Append("%X", static_cast<unsigned>(std::lround(std::log2(QuantiserHistogram[J] + 1.0))));
      }
      if (Enc && (Enc->flags & AV_CODEC_FLAG_PSNR)) {
        double ErrorSum = 0, ScaleSum = 0;
        Text.Append("PSNR=");
        for (int J = 0; J < 3; ++J) {
          const double Error = static_cast<double>(IsLastReport ? Enc->error[J] : Coded.Error[J]);
          double Scale = static_cast<double>(Enc->width) * Enc->height * 255.0 * 255.0;
          if (IsLastReport) Scale *= Frames;
          if (J) Scale /= 4;
          ErrorSum += Error;
          ScaleSum += Scale;
          Text.Append("%c:%2.2f ", "YUV"[J], PSNR(Error / Scale));
        }
        Text.Append("*:%2.2f ", PSNR(ErrorSum / ScaleSum));
      }
      Info.FrameNumber = Frames;
      Info.FPS = FPS;
      Info.Quality = Quality;
      VideoSeen = true;
    }
    // The film's time is that of its picture and sound: a subtitle track
    // that ends early, or a cover, must not hold the progress back.
    if (!Mux.FollowsFilm() && Timed) continue;
    const double Pts = static_cast<double>(Mux.EndPts()) * av_q2d(Mux.Stream()->time_base);
    if (Pts > 0 && Pts < T) T = Pts;
    double Given = Pts;
    if (Video && Enc && !Mux.Copies())
      Given = std::max(Pts, static_cast<double>(Mux.Position()) * av_q2d(Enc->time_base));
    if (Given > 0 && Given < Fed) Fed = Given;
  }
  // Until a stream has a time nothing of the output's duration is known
  // (Fed stays unset); the text's rate divides by at least 10 ms.
  if (T < 0.01) T = 0.01;

  if (FTask.FOnProgress || S.FVerbose > 0 || IsLastReport) {
    const double BitRate = static_cast<double>(TotalSize) * 8 / T / 1000;
    Text.Append("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", static_cast<double>(TotalSize) / 1024, T,
                BitRate);
    if (S.FVerbose > 1) Text.Append(" dup=%d drop=%d", S.FFramesDup, S.FFramesDrop);
    if (FTask.FOnProgress) {
      Info.CurrentDuration = Fed < 1e10 ? static_cast<int32_t>(std::min(Fed * 1000, double{INT32_MAX})) : 0;
      Info.BitRate = static_cast<float>(BitRate);
      Info.CurrentSize = TotalSize;
      Info.TotalOutputDuration =
          static_cast<int32_t>(std::clamp<int64_t>(S.FRecordingTimeMs, INT32_MIN, INT32_MAX));
      FTask.FOnProgress(FTask, Info);
    } else if (S.FVerbose >= 0) {
      FTask.Log(1, Text.Text());
    }
  }

  if (IsLastReport && S.FVerbose >= 0 && FTask.FOnLog) {
    const double Raw = static_cast<double>(S.FVideoSize + S.FAudioSize + S.FExtraSize);
    FTask.Log(1, Format("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %.2f%%\r\n",
                        static_cast<double>(S.FVideoSize) / 1024, static_cast<double>(S.FAudioSize) / 1024,
                        static_cast<double>(S.FExtraSize) / 1024,
                        (static_cast<double>(TotalSize) - Raw) * 100 / Raw));
  }
}

}  // namespace korvane
