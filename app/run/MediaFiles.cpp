// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "AVProbe.h"

namespace korvane {

namespace {

bool SameLetters(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (std::tolower(static_cast<unsigned char>(A[I])) != std::tolower(static_cast<unsigned char>(B[I])))
      return false;
  return true;
}

// Formats whose files hold one still picture, or text shown as a picture.
bool StillPictureFormat(std::string_view Name) {
  constexpr std::string_view Pipe = "_pipe";
  return Name == "image2" || Name == "tty" ||
         (Name.size() > Pipe.size() && Name.substr(Name.size() - Pipe.size()) == Pipe);
}

// Whether File can be opened for reading; Reason says why not.
bool Readable(const std::string &File, std::string &Reason) {
  const int Descriptor = open(File.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (Descriptor < 0) {
    Reason = File + ": cannot be read: " + std::strerror(errno);
    return false;
  }
  close(Descriptor);
  return true;
}

}  // namespace

bool HasMediaExtension(std::string_view Name) {
  const size_t Dot = Name.rfind('.');
  if (Dot == std::string_view::npos || Name.find('/', Dot) != std::string_view::npos) return false;
  const std::string_view Extension = Name.substr(Dot);  // ".mp4"
  std::string_view Patterns = SupportedFilePatternText;
  while (!Patterns.empty()) {
    const size_t End = std::min(Patterns.find(';'), Patterns.size());
    std::string_view Pattern = Patterns.substr(0, End);
    Patterns.remove_prefix(std::min(End + 1, Patterns.size()));
    while (!Pattern.empty() && Pattern.front() == ' ') Pattern.remove_prefix(1);
    if (Pattern.size() > 1 && SameLetters(Pattern.substr(1), Extension)) return true;
  }
  return false;
}

TMediaKind ProbeMediaKind(TAVProbe &Probe, const std::string &File, std::string &Reason) {
  Reason.clear();
  if (!Readable(File, Reason)) return TMediaKind::Failed;
  if (!Probe.LoadFile(File, "")) {
    if (HasMediaExtension(File)) {
      Reason = Probe.LastError();
      return TMediaKind::Failed;
    }
    Reason = "content of no known format";
    return TMediaKind::NotMedia;
  }
  const AVFormatContext *Context = Probe.FormatContext();
  const int Video = Probe.FirstVideoStream();
  const bool Picture = Video >= 0 && TAVProbe::MainPicture(Context->streams[Video]);
  if (StillPictureFormat(Context->iformat->name))
    Reason = "a still picture";
  else if (Probe.AudioStreamCount() <= 0 && !Picture)
    Reason = "no sound or moving picture";
  if (Reason.empty()) return TMediaKind::Media;
  Probe.CloseFile();
  return TMediaKind::NotMedia;
}

}  // namespace korvane
