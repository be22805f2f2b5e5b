// SPDX-License-Identifier: GPL-3.0-or-later
// The streams an output gets: one per media type the container and the
// sources have, or under the two plans beyond that, every track of the
// source (its picture, every audio track converted in its order, every
// subtitle track, the attachments) or a copy of every stream the container
// can carry. Each stream a plan makes knows the input stream it is for, so
// the run maps it there and nowhere else. What an output leaves out that
// its container cannot hold (a cover, picture subtitles) is noted for the
// end of the run.
#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "AVLibraries.h"
#include "AVProbe.h"
#include "FFmpeg.h"
#include "ScopeExit.h"
#include "TextFormat.h"

namespace korvane {

namespace {

bool AttachedPicture(const AVStream *Stream) { return Stream->disposition & AV_DISPOSITION_ATTACHED_PIC; }

bool TextSubtitle(AVCodecID ID) {
  const AVCodecDescriptor *Descriptor = LibAVCodec::avcodec_descriptor_get(ID);
  return Descriptor && (Descriptor->props & AV_CODEC_PROP_TEXT_SUB);
}

// Whether the container can carry a stream of this codec as it is, in its
// own way or in a compatibility mode its muxer writes (Matroska's for
// Windows codecs). A container that cannot tell is given the benefit of the
// doubt: its muxer still refuses what it cannot write, and the run then
// fails with its text.
bool CarriesCodec(const AVOutputFormat *Format, AVCodecID ID) {
  return LibAVFormat::avformat_query_codec(Format, ID, FF_COMPLIANCE_UNOFFICIAL) != 0;
}

// The text subtitle format a container holds: its own default, or MP4's
// timed text, which the MP4 family holds but does not name as its default.
AVCodecID TextSubtitleCodec(const AVOutputFormat *Format) {
  const std::string_view Name = Format->name;
  if (Name == "mp4" || Name == "mov" || Name == "ipod" || Name == "3gp") return AV_CODEC_ID_MOV_TEXT;
  return Format->subtitle_codec;
}

// Attachments (fonts for styled subtitles, covers) are files, not codec
// data: of the containers the profiles write only Matroska keeps them.
bool CarriesAttachments(const AVOutputFormat *Format) { return std::string_view(Format->name) == "matroska"; }

// Containers that keep a cover as a cover (an attached picture: ID3v2's
// APIC, MP4's covr, FLAC's PICTURE), and the picture codecs they take.
// Matroska keeps it as an attached file instead.
bool CarriesCover(const AVOutputFormat *Format, AVCodecID Picture) {
  const std::string_view Name = Format->name;
  const bool Common =
      Picture == AV_CODEC_ID_MJPEG || Picture == AV_CODEC_ID_PNG || Picture == AV_CODEC_ID_BMP;
  if (Name == "mp4" || Name == "ipod") return Common;
  if (Name == "mp3" || Name == "flac") return Common || Picture == AV_CODEC_ID_GIF;
  return false;
}

// A picture file (a preview's PNG) holds one picture: the film's. A cover
// there would take the film's place.
bool PictureFile(const AVOutputFormat *Format) {
  const std::string_view Name = Format->name;
  return Name == "image2" || Name == "image2pipe";
}

// How a note names the files of Output's container: by the name they are
// known by, else by the output's extension ("VOB files").
std::string FilesOf(const AVFormatContext *Output) {
  static constexpr std::pair<std::string_view, std::string_view> Known[] = {
      {"opus", "Opus"}, {"ogg", "Ogg"}, {"webm", "WebM"}, {"matroska", "Matroska"}};
  const std::string_view Format = Output->oformat->name;
  for (const auto &[Name, Shown] : Known)
    if (Format == Name) return std::string(Shown) + " files";
  const std::string_view Url = Output->url ? Output->url : "";
  const size_t Dot = Url.rfind('.'), Slash = Url.rfind('/');
  if (Dot == std::string_view::npos || (Slash != std::string_view::npos && Dot < Slash) ||
      Dot + 1 == Url.size())
    return std::string(Format) + " files";
  std::string Extension(Url.substr(Dot + 1));
  std::transform(Extension.begin(), Extension.end(), Extension.begin(),
                 [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
  return Extension + " files";
}

// What becomes of one input stream under a plan.
enum class TStreamFate { LeftOut, Copied, Converted, Attached };

// What becomes of a cover in Output: an attached file where the container
// keeps files, a copy where it keeps covers, else it is left out, with the
// note that says why in Note (none in a picture file, which holds the
// film's picture only).
TStreamFate CoverFate(const AVStream *Stream, const AVFormatContext *Output, std::string &Note) {
  const AVOutputFormat *Format = Output->oformat;
  Note.clear();
  if (PictureFile(Format)) return TStreamFate::LeftOut;
  if (CarriesAttachments(Format)) return TStreamFate::Attached;
  // A muxer refuses a picture without a size: a damaged cover would cost
  // the whole file.
  if (Stream->codecpar->width <= 0 || Stream->codecpar->height <= 0) {
    Note = "the cover was left out: its picture cannot be read";
    return TStreamFate::LeftOut;
  }
  if (CarriesCover(Format, Stream->codecpar->codec_id)) return TStreamFate::Copied;
  Note = "the cover was left out: " + FilesOf(Output) + " cannot hold one";
  return TStreamFate::LeftOut;
}

// The note for subtitle track Stream of Input that Output cannot hold.
std::string SubtitleLeftOut(const AVFormatContext *Input, const AVStream *Stream,
                            const AVFormatContext *Output) {
  const std::vector<int> Tracks = TracksOf(Input, AVMEDIA_TYPE_SUBTITLE);
  const auto At = std::find(Tracks.begin(), Tracks.end(), Stream->index);
  const AVCodecID ID = Stream->codecpar->codec_id;
  return Format("subtitle track %d (%s) was left out: %s cannot hold %s",
                static_cast<int>(At - Tracks.begin()) + 1, LibAVCodec::avcodec_get_name(ID),
                FilesOf(Output).c_str(), TextSubtitle(ID) ? "it" : "picture subtitles");
}

// The codec names and copy flags the stream makers consume: kept before the
// first stream and given back before each of the others, so that every
// track gets what the options asked for.
struct TCodecChoice {
  std::string VideoName, AudioName, SubtitleName;
  int VideoCopy = 0, AudioCopy = 0, SubtitleCopy = 0;

  static TCodecChoice Of(const TOptionState &S) {
    return {S.FVideoCodecName,  S.FAudioCodecName,  S.FSubtitleCodecName,
            S.FVideoStreamCopy, S.FAudioStreamCopy, S.FSubtitleStreamCopy};
  }
  void Restore(TOptionState &S) const {
    S.FVideoCodecName = VideoName;
    S.FAudioCodecName = AudioName;
    S.FSubtitleCodecName = SubtitleName;
    S.FVideoStreamCopy = VideoCopy;
    S.FAudioStreamCopy = AudioCopy;
    S.FSubtitleStreamCopy = SubtitleCopy;
  }
};

// The streams of Input of one kind that an output gets: the chosen tracks
// in the order chosen, else every one in source order; never the subtitle
// track Burnt (1-based), which is drawn into the picture instead.
std::vector<int> ChosenTracks(const AVFormatContext *Input, AVMediaType Type, const TTrackChoice &Choice,
                              int Burnt) {
  std::vector<int> Streams;
  if (Choice.All)
    Streams = TracksOf(Input, Type);
  else
    for (const int Number : Choice.Numbers) Streams.push_back(TrackStream(Input, Type, Number));
  if (Type == AVMEDIA_TYPE_SUBTITLE && Burnt > 0) std::erase(Streams, TrackStream(Input, Type, Burnt));
  return Streams;
}

// The streams of the sources in the order a plan takes them: for each
// source its pictures, its audio tracks, its subtitle tracks (of the first
// source the chosen ones, in the order chosen), then the rest, each kind in
// source order.
std::vector<TStreamRef> PlannedOrder(const TOptionState &S) {
  std::vector<TStreamRef> Order;
  for (int File = 0; File < S.FInputFileCount; ++File) {
    const AVFormatContext *Input = S.FInputFiles[File].get();
    const auto Add = [&](const std::vector<int> &Streams) {
      for (const int Stream : Streams) Order.push_back({File, Stream});
    };
    std::vector<int> Pictures, Rest;
    for (unsigned I = 0; I < Input->nb_streams; ++I) {
      const AVMediaType Type = Input->streams[I]->codecpar->codec_type;
      if (Type == AVMEDIA_TYPE_VIDEO)
        Pictures.push_back(static_cast<int>(I));
      else if (Type != AVMEDIA_TYPE_AUDIO && Type != AVMEDIA_TYPE_SUBTITLE)
        Rest.push_back(static_cast<int>(I));
    }
    const TTrackChoice Every;
    Add(Pictures);
    Add(ChosenTracks(Input, AVMEDIA_TYPE_AUDIO, File == 0 ? S.FAudioTracks : Every, 0));
    Add(ChosenTracks(Input, AVMEDIA_TYPE_SUBTITLE, File == 0 ? S.FSubtitleTracks : Every,
                     File == 0 ? S.FBurnSubtitle : 0));
    Add(Rest);
  }
  return Order;
}

}  // namespace

void TCustomFFmpeg::NewPlannedStreams(AVFormatContext *Output, int OutputIndex, bool UseVideo, bool UseAudio,
                                      bool UseSubtitle) {
  TOptionState &S = FState;
  const bool CopyAll = S.FStreamPlan == TStreamPlan::CopyAll;
  const TCodecChoice Choice = TCodecChoice::Of(S);
  const AVOutputFormat *Format = Output->oformat;
  bool PictureTaken = false;

  // Under every-track, the first picture that is not a cover is converted,
  // each audio track too; subtitles the container carries are copied and
  // other text subtitles converted to the container's own. Under copy-all
  // everything that the container carries is copied. A track without what
  // a decoder needs holds nothing; what the container cannot hold is noted.
  const auto FateOf = [&](const AVFormatContext *Input, const AVStream *Stream, std::string &Note) {
    const AVCodecParameters *P = Stream->codecpar;
    const bool Carried = CarriesCodec(Format, P->codec_id);
    Note.clear();
    switch (P->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        // A cover stays a cover, whatever the picture choice: it is no film.
        if (AttachedPicture(Stream)) return CoverFate(Stream, Output, Note);
        if (!UseVideo) return TStreamFate::LeftOut;
        // A stream without a picture size holds nothing to show or copy.
        if (!TAVProbe::MainPicture(Stream)) return TStreamFate::LeftOut;
        if (CopyAll) return Carried ? TStreamFate::Copied : TStreamFate::LeftOut;
        if (PictureTaken) return TStreamFate::LeftOut;
        PictureTaken = true;
        return TStreamFate::Converted;
      case AVMEDIA_TYPE_AUDIO:
        if (!UseAudio || !TAVProbe::HoldsMedia(Stream)) return TStreamFate::LeftOut;
        if (CopyAll) return Carried ? TStreamFate::Copied : TStreamFate::LeftOut;
        return TStreamFate::Converted;
      case AVMEDIA_TYPE_SUBTITLE:
        if (!UseSubtitle || !TAVProbe::HoldsMedia(Stream)) return TStreamFate::LeftOut;
        if (Carried) return TStreamFate::Copied;
        if (TextSubtitle(P->codec_id) && TextSubtitleCodec(Format) != AV_CODEC_ID_NONE)
          return TStreamFate::Converted;
        Note = SubtitleLeftOut(Input, Stream, Output);
        return TStreamFate::LeftOut;
      case AVMEDIA_TYPE_ATTACHMENT:
        return CarriesAttachments(Format) ? TStreamFate::Copied : TStreamFate::LeftOut;
      default: return TStreamFate::LeftOut;
    }
  };

  for (const TStreamRef Source : PlannedOrder(S)) {
    const int File = Source.File;
    const unsigned Number = static_cast<unsigned>(Source.Stream);
    const AVStream *Stream = S.FInputFiles[File]->streams[Number];
    const AVMediaType Type = Stream->codecpar->codec_type;
    std::string Note;
    const TStreamFate Fate = FateOf(S.FInputFiles[File].get(), Stream, Note);
    if (Fate == TStreamFate::LeftOut) {
      const char *TypeName = LibAVUtil::av_get_media_type_string(Type);
      Log(1, korvane::Format("Stream #%d.%u (%s, %s) is left out of the %s output", File, Number,
                             TypeName ? TypeName : "unknown",
                             LibAVCodec::avcodec_get_name(Stream->codecpar->codec_id), Format->name));
      if (!Note.empty()) NoteLeftOut(Note);
      continue;
    }
    Choice.Restore(S);
    const bool Copied = Fate == TStreamFate::Copied;
    // A tag the options name is the film's (hvc1 for H.265 in MP4), not a cover's.
    const TScopeExit RestoreTag([&S, Tag = S.FVideoCodecTag] { S.FVideoCodecTag = Tag; });
    if (AttachedPicture(Stream)) S.FVideoCodecTag = 0;
    try {
      switch (Fate == TStreamFate::Attached ? AVMEDIA_TYPE_ATTACHMENT : Type) {
        case AVMEDIA_TYPE_VIDEO:
          if (Copied) S.FVideoStreamCopy = 1;
          NewVideoStream(Output, OutputIndex, Source);
          break;
        case AVMEDIA_TYPE_AUDIO:
          if (Copied) S.FAudioStreamCopy = 1;
          NewAudioStream(Output, OutputIndex, Source);
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          // A converted subtitle gets the container's own text format.
          S.FSubtitleCodecName = Copied ? "" : LibAVCodec::avcodec_get_name(TextSubtitleCodec(Format));
          S.FSubtitleStreamCopy = Copied;
          NewSubtitleStream(Output, OutputIndex, Source);
          break;
        default: NewAttachmentStream(Output, OutputIndex, Source); break;
      }
    } catch (const std::exception &E) {
      const char *Kind = Type == AVMEDIA_TYPE_VIDEO      ? "new_video_stream"
                         : Type == AVMEDIA_TYPE_AUDIO    ? "new_audio_stream"
                         : Type == AVMEDIA_TYPE_SUBTITLE ? "new_subtitle_stream"
                                                         : "new_attachment_stream";
      throw FFMpegException(korvane::Format("%s fail: %s", Kind, E.what()));
    }
  }
  // The stream makers consume the names: so does the plan, once it is done.
  S.FVideoCodecName.clear();
  S.FAudioCodecName.clear();
  S.FSubtitleCodecName.clear();
  S.FVideoStreamCopy = S.FAudioStreamCopy = S.FSubtitleStreamCopy = 0;
}

std::string RefusedStreamText(const TOptionState &S, int File) {
  const AVFormatContext *Output = S.FOutputFiles[File].get();
  const AVOutputFormat *Format = Output->oformat;
  for (unsigned I = 0; I < Output->nb_streams; ++I) {
    const AVCodecParameters *P = Output->streams[I]->codecpar;
    const char *Codec = LibAVCodec::avcodec_get_name(P->codec_id);
    if (LibAVFormat::avformat_query_codec(Format, P->codec_id, FF_COMPLIANCE_UNOFFICIAL) == 0) {
      if (I < S.FOutputStreams[File].size() && S.FOutputStreams[File][I].StreamCopy)
        return korvane::Format("the %s format cannot hold the copy of output stream #%d.%u (%s)",
                               Format->name, File, I, Codec);
      return korvane::Format("the %s format cannot hold output stream #%d.%u (%s)", Format->name, File, I,
                             Codec);
    }
    // The muxer takes a tag its own tables give to the stream's codec.
    if (P->codec_tag != 0 && P->codec_id != AV_CODEC_ID_RAWVIDEO && Format->codec_tag &&
        LibAVFormat::av_codec_get_id(Format->codec_tag, P->codec_tag) != P->codec_id) {
      std::string Tag;
      for (int Byte = 0; Byte < 4; ++Byte) {
        const unsigned char C = static_cast<unsigned char>(P->codec_tag >> (8 * Byte));
        Tag += std::isprint(C) ? std::string(1, static_cast<char>(C)) : korvane::Format("[%d]", C);
      }
      return korvane::Format("the %s format cannot take output stream #%d.%u (%s) under the tag %s",
                             Format->name, File, I, Codec, Tag.c_str());
    }
  }
  return "";
}

void TCustomFFmpeg::NoteLeftOut(const std::string &Note) {
  if (std::find(FNotes.begin(), FNotes.end(), Note) == FNotes.end()) FNotes.push_back(Note);
}

void TCustomFFmpeg::NewCoverStreams(AVFormatContext *Output, int OutputIndex) {
  TOptionState &S = FState;
  const AVOutputFormat *Format = Output->oformat;
  const uint32_t Tag = S.FVideoCodecTag;  // the film's, not the cover's
  S.FVideoCodecTag = 0;
  const TScopeExit Restore([&S, Tag] { S.FVideoCodecTag = Tag; });
  for (int File = 0; File < S.FInputFileCount; ++File) {
    const AVFormatContext *Input = S.FInputFiles[File].get();
    for (unsigned Number = 0; Number < Input->nb_streams; ++Number) {
      const AVStream *Stream = Input->streams[Number];
      if (!AttachedPicture(Stream) || Stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      const TStreamRef Source{File, static_cast<int>(Number)};
      std::string Note;
      switch (CoverFate(Stream, Output, Note)) {
        case TStreamFate::Attached: NewAttachmentStream(Output, OutputIndex, Source); break;
        case TStreamFate::Copied:
          S.FVideoStreamCopy = 1;
          NewVideoStream(Output, OutputIndex, Source);
          break;
        default:
          Log(1, korvane::Format("The cover (stream #%d.%u, %s) is left out of the %s output", File, Number,
                                 LibAVCodec::avcodec_get_name(Stream->codecpar->codec_id), Format->name));
          if (!Note.empty()) NoteLeftOut(Note);
          break;
      }
    }
  }
}

bool TCustomFFmpeg::NewOutputStreams(AVFormatContext *Output, int Index) {
  TOptionState &S = FState;
  // A media type gets a stream where the container has a codec for it (or
  // one is named or copied) and a source has a stream of that type.
  const AVOutputFormat *Format = Output->oformat;
  bool UseVideo = Format->video_codec != AV_CODEC_ID_NONE || S.FVideoStreamCopy || !S.FVideoCodecName.empty();
  bool UseAudio = Format->audio_codec != AV_CODEC_ID_NONE || S.FAudioStreamCopy || !S.FAudioCodecName.empty();
  bool UseSubtitle =
      S.FSubtitleStreamCopy || Format->subtitle_codec != AV_CODEC_ID_NONE || !S.FSubtitleCodecName.empty() ||
      (S.FStreamPlan != TStreamPlan::OnePerType && TextSubtitleCodec(Format) != AV_CODEC_ID_NONE);
  if (S.FInputFileCount > 0) {
    bool HasVideo = false, HasAudio = false, HasSubtitle = false;
    for (int I = 0; I < S.FInputFileCount; ++I) {
      const AVFormatContext *Input = S.FInputFiles[I].get();
      for (unsigned J = 0; J < Input->nb_streams; ++J) {
        const AVMediaType Type = Input->streams[J]->codecpar->codec_type;
        if (Type < AVMEDIA_TYPE_UNKNOWN || Type >= AVMEDIA_TYPE_NB) {
          S.FErrorText = "check_audio_video_sub_inputs fail: invalid codec_type of input file";
          return false;
        }
        // A cover is no film: a picture track needs a main picture.
        HasVideo |= TAVProbe::MainPicture(Input->streams[J]);
        HasAudio |= Type == AVMEDIA_TYPE_AUDIO;
        HasSubtitle |= Type == AVMEDIA_TYPE_SUBTITLE;
      }
    }
    UseVideo &= HasVideo;
    UseAudio &= HasAudio;
    UseSubtitle &= HasSubtitle;
  }
  if (S.FVideoDisable) UseVideo = false;
  if (S.FAudioDisable) UseAudio = false;
  if (S.FSubtitleDisable) UseSubtitle = false;

  if (S.FStreamPlan == TStreamPlan::OnePerType) {
    // The one audio and subtitle track: the first chosen, else the first
    // free one the run finds; none when none is chosen (or the one there is
    // to be drawn into the picture).
    const auto FirstChosen = [&S](AVMediaType Type, const TTrackChoice &Choice, bool &Use) -> TStreamRef {
      if (S.FInputFileCount == 0 || Choice.All) return {};
      if (Choice.None()) {
        Use = false;
        return {};
      }
      return {0, TrackStream(S.FInputFiles[0].get(), Type, Choice.Numbers.front())};
    };
    struct TStreamKind {
      bool Use;
      void (TCustomFFmpeg::*Create)(AVFormatContext *, int, TStreamRef);
      const char *Failure;
      TStreamRef Source;
    } Kinds[] = {{UseVideo, &TCustomFFmpeg::NewVideoStream, "new_video_stream fail: %s", {}},
                 {UseAudio, &TCustomFFmpeg::NewAudioStream, "new_audio_stream fail: %s", {}},
                 {UseSubtitle && (S.FBurnSubtitle == 0 || !S.FSubtitleTracks.All),
                  &TCustomFFmpeg::NewSubtitleStream,
                  "new_subtitle_stream fail: %s",
                  {}}};
    for (TStreamKind &Kind : Kinds) {
      try {
        if (Kind.Create == &TCustomFFmpeg::NewAudioStream)
          Kind.Source = FirstChosen(AVMEDIA_TYPE_AUDIO, S.FAudioTracks, Kind.Use);
        else if (Kind.Create == &TCustomFFmpeg::NewSubtitleStream)
          Kind.Source = FirstChosen(AVMEDIA_TYPE_SUBTITLE, S.FSubtitleTracks, Kind.Use);
        if (Kind.Use) (this->*Kind.Create)(Output, Index, Kind.Source);
      } catch (const std::exception &E) {
        S.FErrorText = korvane::Format(Kind.Failure, E.what());
        return false;
      }
    }
    // Covers stay covers where the container keeps them, whatever the
    // picture choice; streams the user mapped are all there is.
    try {
      if (S.FStreamMapCount == 0) NewCoverStreams(Output, Index);
    } catch (const std::exception &E) {
      S.FErrorText = korvane::Format("new_video_stream fail: %s", E.what());
      return false;
    }
  } else {
    try {
      NewPlannedStreams(Output, Index, UseVideo, UseAudio, UseSubtitle);
    } catch (const std::exception &E) {
      S.FErrorText = E.what();
      return false;
    }
  }
  return true;
}

}  // namespace korvane
