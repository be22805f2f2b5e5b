// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackChoice.h"

#include <cerrno>
#include <cstdlib>

#include "FFMpegException.h"
#include "TextFormat.h"

namespace korvane {

TTrackChoice TTrackChoice::Parse(const std::string &Text) {
  TTrackChoice Choice;
  if (Text == "all") return Choice;
  Choice.All = false;
  if (Text == "none") return Choice;
  size_t Start = 0;
  while (Start <= Text.size()) {
    const size_t End = std::min(Text.find(',', Start), Text.size());
    const std::string Item = Text.substr(Start, End - Start);
    char *Rest = nullptr;
    errno = 0;
    const long Number = std::strtol(Item.c_str(), &Rest, 10);
    if (Item.empty() || *Rest != '\0' || errno != 0 || Number < 1 || Number > 1000)
      throw FFMpegException(
          Format("'%s' is no track list: give all, none, or track numbers from 1 separated by commas",
                 Text.c_str()));
    Choice.Numbers.push_back(static_cast<int>(Number));
    Start = End + 1;
  }
  return Choice;
}

std::vector<int> TracksOf(const AVFormatContext *Input, AVMediaType Type) {
  std::vector<int> Tracks;
  for (unsigned I = 0; I < Input->nb_streams; ++I) {
    const AVStream *Stream = Input->streams[I];
    if (Stream->codecpar->codec_type == Type && !(Stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
      Tracks.push_back(static_cast<int>(I));
  }
  return Tracks;
}

int TrackStream(const AVFormatContext *Input, AVMediaType Type, int Number) {
  const std::vector<int> Tracks = TracksOf(Input, Type);
  if (Number >= 1 && Number <= static_cast<int>(Tracks.size()))
    return Tracks[static_cast<size_t>(Number - 1)];
  const char *Kind = Type == AVMEDIA_TYPE_AUDIO      ? "audio"
                     : Type == AVMEDIA_TYPE_SUBTITLE ? "subtitle"
                                                     : "video";
  throw FFMpegException(
      Format("There is no %s track %d: %s has %zu", Kind, Number, Input->url, Tracks.size()));
}

}  // namespace korvane
