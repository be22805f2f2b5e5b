// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileTracks.h"

#include "LibAVCodec.h"
#include "LibAVUtil.h"
#include "TrackChoice.h"

namespace korvane {

namespace {

std::string Tag(const AVDictionary *Metadata, const char *Key) {
  const AVDictionaryEntry *Entry = LibAVUtil::av_dict_get(Metadata, Key, nullptr, 0);
  return Entry && Entry->value ? Entry->value : "";
}

}  // namespace

TFileDetails ReadFileDetails(const TAVProbe &Probe) {
  TFileDetails Details;
  TAVFileInfo File;
  Probe.GetFileInfo(File);
  if (File.Duration >= 0 && File.Duration != AV_NOPTS_VALUE) Details.LengthMs = File.Duration / 1000;
  const AVFormatContext *Input = Probe.FormatContext();
  if (!Input) return Details;
  for (const AVMediaType Type : {AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE}) {
    int Number = 0;
    for (const int Index : TracksOf(Input, Type)) {
      const AVStream *Stream = Input->streams[Index];
      TTrackInfo Track;
      Track.Audio = Type == AVMEDIA_TYPE_AUDIO;
      Track.Number = ++Number;
      Track.Language = Tag(Stream->metadata, "language");
      if (Track.Language == "und") Track.Language.clear();
      Track.Title = Tag(Stream->metadata, "title");
      Track.Codec = LibAVCodec::avcodec_get_name(Stream->codecpar->codec_id);
      if (Track.Audio) Track.Channels = Stream->codecpar->ch_layout.nb_channels;
      Details.Tracks.push_back(std::move(Track));
    }
  }
  return Details;
}

std::string TrackLabel(const TTrackInfo &Track) {
  std::string Label = std::to_string(Track.Number) + ":";
  auto Add = [&Label, First = true](const std::string &Part) mutable {
    if (Part.empty()) return;
    Label += (First ? " " : ", ") + Part;
    First = false;
  };
  Add(Track.Language);
  Add(Track.Codec);
  if (Track.Channels > 0)
    Add(Track.Channels == 1 ? "1 channel" : std::to_string(Track.Channels) + " channels");
  if (!Track.Title.empty()) Add("\"" + Track.Title + "\"");
  return Label;
}

}  // namespace korvane
