// SPDX-License-Identifier: GPL-3.0-or-later
#include "FailureReasons.h"

#include <sys/stat.h>

#include <string_view>

namespace korvane {

namespace {

struct TExplanation {
  std::string_view EngineText;  // the part of the engine's text that tells it apart
  std::string_view Meaning;     // "{stream}" stands for "Stream N", N the stream the text names
};

// The engine's texts whose words are its own shorthand, and what they mean.
constexpr TExplanation Explanations[] = {
    {"I/O error occurred",
     "The file ends before its own data does: it is cut short or damaged (an interrupted download or "
     "copy), not a fault of the disk. Copy or download it again."},
    {"Error while parsing header", "The file is damaged or is not the kind of media file it appears to be."},
    {"could not find codec parameters", "The file is damaged: its streams cannot be read."},
    {"Output file does not contain any stream",
     "The source has nothing this format can hold: no sound that can be read for a sound-only format, "
     "or no picture or sound at all."},
    {"Cannot allocate temp picture, check pix fmt",
     "The picture format of this file is not supported, or its video is damaged: the size and format "
     "of its pictures cannot be read."},
    {"Unsupported codec (id=",
     "{stream} uses a codec the installed libraries cannot decode, or its header is damaged."},
    {"Error while opening codec for input stream",
     "{stream} uses a codec the installed libraries cannot decode, or its settings are damaged."},
    {"No space left on device", "The disk of the output folder is full: free some space."},
    {"a copy would play on its side",
     "Choose a profile that converts the picture, such as MKV every track or MP4 H.264: they turn it "
     "upright."},
    {"memory allocation error occurred",
     "The file's header is damaged: it gives sizes no real file has, more than the memory there is."},
    {"cannot hold the copy of",
     "The output format cannot take the streams as they are: a copy keeps each stream's codec, which "
     "this container cannot hold. Choose a profile that converts them, such as MKV every track."},
    {"Syntax error in matrix",
     "A matrix option (intra_matrix, inter_matrix) takes 64 numbers from 1 to 255, separated by commas."},
    {"(frame size and padding) is too large",
     "The size and padding options ask for a picture larger than any format can hold."},
};

// The stream number of the first "#F.S" in Text, or "" when there is none.
std::string StreamNumber(std::string_view Text) {
  const size_t Hash = Text.find('#');
  if (Hash == std::string_view::npos) return {};
  const size_t Dot = Text.find('.', Hash);
  if (Dot == std::string_view::npos) return {};
  size_t End = Dot + 1;
  while (End < Text.size() && Text[End] >= '0' && Text[End] <= '9') ++End;
  return std::string(Text.substr(Dot + 1, End - Dot - 1));
}

// Text, then Meaning as the next sentence.
std::string WithMeaning(const std::string &Text, const std::string &Meaning) {
  const bool Ended = !Text.empty() && (Text.back() == '.' || Text.back() == '!');
  return Text + (Ended ? " " : ". ") + Meaning;
}

}  // namespace

std::string ExplainedFailure(const std::string &Text, const std::string &File) {
  struct stat Status {};
  if (!File.empty() && stat(File.c_str(), &Status) == 0 && S_ISREG(Status.st_mode) && Status.st_size == 0)
    return WithMeaning(Text, "The file is empty (0 bytes): there is nothing in it to convert.");
  return ExplainedFailure(Text);
}

std::string ExplainedFailure(const std::string &Text) {
  for (const TExplanation &E : Explanations) {
    if (Text.find(E.EngineText) == std::string::npos) continue;
    std::string Meaning(E.Meaning);
    if (const size_t At = Meaning.find("{stream}"); At != std::string::npos) {
      const std::string Number = StreamNumber(std::string_view(Text).substr(Text.find(E.EngineText)));
      Meaning.replace(At, 8, Number.empty() ? "One stream" : "Stream " + Number);
    }
    return WithMeaning(Text, Meaning);
  }
  return Text;
}

std::string WithoutLeadingName(const std::string &Text, const std::string &Name) {
  const std::string Lead = Name + ": ";
  return !Name.empty() && Text.compare(0, Lead.size(), Lead) == 0 ? Text.substr(Lead.size()) : Text;
}

}  // namespace korvane
