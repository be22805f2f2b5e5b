// SPDX-License-Identifier: GPL-3.0-or-later
// One owning holder per library handle: every object the engine takes from
// the media libraries lives in one of these, so every path releases it
// exactly once.
#pragma once

#include <memory>

#include "../binding/LibAVCodec.h"
#include "../binding/LibAVFilter.h"
#include "../binding/LibAVFormat.h"
#include "../binding/LibAVUtil.h"
#include "../binding/LibSwResample.h"
#include "../binding/LibSwScale.h"

namespace korvane {

// A deleter that calls a library free function through its bound pointer.
template <typename T, auto Free>
struct TLibraryDeleter {
  void operator()(T *Object) const { Free(Object); }
};

namespace detail {
inline void CloseInput(AVFormatContext *Context) { LibAVFormat::avformat_close_input(&Context); }
inline void FreeFormat(AVFormatContext *Context) { LibAVFormat::avformat_free_context(Context); }
inline void CloseOutput(AVFormatContext *Context) {
  if (Context->pb && Context->oformat && !(Context->oformat->flags & AVFMT_NOFILE))
    LibAVFormat::avio_closep(&Context->pb);
  LibAVFormat::avformat_free_context(Context);
}
inline void FreeCodec(AVCodecContext *Context) { LibAVCodec::avcodec_free_context(&Context); }
// Codec contexts that get opened are freed under the process-wide
// codec-open lock, like every open and close of a codec.
void FreeCodecLocked(AVCodecContext *Context);
inline void FreeFrame(AVFrame *Frame) { LibAVUtil::av_frame_free(&Frame); }
inline void FreePacket(AVPacket *Packet) { LibAVCodec::av_packet_free(&Packet); }
inline void FreeScaler(SwsContext *Context) { LibSwScale::sws_freeContext(Context); }
inline void FreeResampler(SwrContext *Context) { LibSwResample::swr_free(&Context); }
inline void FreeDictionary(AVDictionary *Dictionary) { LibAVUtil::av_dict_free(&Dictionary); }
inline void FreeFilterGraph(AVFilterGraph *Graph) { LibAVFilter::avfilter_graph_free(&Graph); }
inline void FreeFilterInOut(AVFilterInOut *Ends) { LibAVFilter::avfilter_inout_free(&Ends); }
}  // namespace detail

// An opened input container (avformat_open_input).
using TInputFormatHolder =
    std::unique_ptr<AVFormatContext, TLibraryDeleter<AVFormatContext, detail::CloseInput>>;
// An output container with the file it writes to (closed with it).
using TOutputFormatHolder =
    std::unique_ptr<AVFormatContext, TLibraryDeleter<AVFormatContext, detail::CloseOutput>>;
// A container context that is not an opened input (output contexts, option holders).
using TFormatContextHolder =
    std::unique_ptr<AVFormatContext, TLibraryDeleter<AVFormatContext, detail::FreeFormat>>;
using TCodecContextHolder =
    std::unique_ptr<AVCodecContext, TLibraryDeleter<AVCodecContext, detail::FreeCodec>>;
// A decoder or encoder context of a task's files: opened for the run, freed
// (closed) under the codec-open lock.
using TCodecHolder =
    std::unique_ptr<AVCodecContext, TLibraryDeleter<AVCodecContext, detail::FreeCodecLocked>>;
using TFrameHolder = std::unique_ptr<AVFrame, TLibraryDeleter<AVFrame, detail::FreeFrame>>;
using TPacketHolder = std::unique_ptr<AVPacket, TLibraryDeleter<AVPacket, detail::FreePacket>>;
using TScalerHolder = std::unique_ptr<SwsContext, TLibraryDeleter<SwsContext, detail::FreeScaler>>;
using TResamplerHolder = std::unique_ptr<SwrContext, TLibraryDeleter<SwrContext, detail::FreeResampler>>;
using TDictionaryHolder =
    std::unique_ptr<AVDictionary, TLibraryDeleter<AVDictionary, detail::FreeDictionary>>;
// A filter graph with every filter in it (they are freed with the graph).
using TFilterGraphHolder =
    std::unique_ptr<AVFilterGraph, TLibraryDeleter<AVFilterGraph, detail::FreeFilterGraph>>;
// The open ends of a graph description being parsed (a chain of them).
using TFilterInOutHolder =
    std::unique_ptr<AVFilterInOut, TLibraryDeleter<AVFilterInOut, detail::FreeFilterInOut>>;

// A decoded subtitle: its pictures and texts, released with it.
class TSubtitleHolder {
 public:
  TSubtitleHolder() = default;
  TSubtitleHolder(const TSubtitleHolder &) = delete;
  TSubtitleHolder &operator=(const TSubtitleHolder &) = delete;
  ~TSubtitleHolder() { LibAVCodec::avsubtitle_free(&FSubtitle); }
  AVSubtitle *operator->() { return &FSubtitle; }
  AVSubtitle *get() { return &FSubtitle; }

 private:
  AVSubtitle FSubtitle{};
};

// A channel layout of its own: a layout in a custom order carries a channel
// map that the library allocates, released here.
class TChannelLayout {
 public:
  TChannelLayout() = default;
  TChannelLayout(const TChannelLayout &) = delete;
  TChannelLayout &operator=(const TChannelLayout &) = delete;
  ~TChannelLayout() { LibAVUtil::av_channel_layout_uninit(&FLayout); }
  // False (and an empty layout) when the copy cannot be made.
  bool Assign(const AVChannelLayout &From) {
    LibAVUtil::av_channel_layout_uninit(&FLayout);
    return LibAVUtil::av_channel_layout_copy(&FLayout, &From) >= 0;
  }
  const AVChannelLayout &operator*() const { return FLayout; }
  const AVChannelLayout *operator->() const { return &FLayout; }

 private:
  AVChannelLayout FLayout{};
};

}  // namespace korvane
