// SPDX-License-Identifier: GPL-3.0-or-later
#include "CompleteOutputs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>

#include "AVProbe.h"
#include "OutputNaming.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace korvane {

namespace {

struct TDirCloser {
  void operator()(DIR *Dir) const { closedir(Dir); }
};

std::string Escaped(const std::string &Text) {
  std::string Out;
  for (const char C : Text) {
    if (C == '\t')
      Out += "\\t";
    else if (C == '\n')
      Out += "\\n";
    else if (C == '\\')
      Out += "\\\\";
    else
      Out += C;
  }
  return Out;
}

std::string Unescaped(const std::string &Text) {
  std::string Out;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != '\\' || I + 1 == Text.size()) {
      Out += Text[I];
      continue;
    }
    const char Next = Text[++I];
    Out += Next == 't' ? '\t' : Next == 'n' ? '\n' : Next;
  }
  return Out;
}

std::vector<std::string> Fields(const std::string &Line) {
  std::vector<std::string> Out;
  size_t Start = 0;
  for (;;) {
    const size_t Tab = Line.find('\t', Start);
    Out.push_back(Unescaped(Line.substr(Start, Tab - Start)));
    if (Tab == std::string::npos) return Out;
    Start = Tab + 1;
  }
}

// A file's size and time of change; false when it is no regular file.
bool FileFacts(const std::string &Path, int64_t &Size, int64_t &Time) {
  struct stat Status {};
  if (stat(Path.c_str(), &Status) != 0 || !S_ISREG(Status.st_mode)) return false;
  Size = Status.st_size;
  Time = int64_t(Status.st_mtim.tv_sec) * 1000000000 + Status.st_mtim.tv_nsec;
  return true;
}

bool ReadInteger(const std::string &Text, int64_t &Value) {
  if (Text.empty() || Text.find_first_not_of("-0123456789") != std::string::npos) return false;
  errno = 0;
  Value = std::strtoll(Text.c_str(), nullptr, 10);
  return errno == 0;
}

// The folder part of a path below the root ("" at its top) and the name.
std::string FolderOf(const std::string &Path) {
  const size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? "" : Path.substr(0, Slash);
}
std::string NameOf(const std::string &Path) { return Path.substr(Path.rfind('/') + 1); }

// Whether Name is Stem + Extension, or Stem + "-N" + Extension.
bool NameOfKind(const std::string &Name, const std::string &Stem, const std::string &Extension) {
  if (Name.size() < Stem.size() + Extension.size() || Name.compare(0, Stem.size(), Stem) != 0 ||
      Name.compare(Name.size() - Extension.size(), Extension.size(), Extension) != 0)
    return false;
  const std::string Middle = Name.substr(Stem.size(), Name.size() - Stem.size() - Extension.size());
  return Middle.empty() || (Middle.size() > 1 && Middle[0] == '-' &&
                            Middle.find_first_not_of("0123456789", 1) == std::string::npos);
}

// The kind of a note without sizes, as the journal spells it; null for
// any other word.
const char *UnfinishedKind(const std::string &Word) {
  for (const char *Kind : {"begun", "stopped", "partial"})
    if (Word == Kind) return Kind;
  return nullptr;
}

std::string MachineName() {
  char Name[256] = {};
  if (gethostname(Name, sizeof Name - 1) != 0 || !Name[0]) return "machine";
  std::string Text = Name;
  std::replace(Text.begin(), Text.end(), '/', '_');
  return Text;
}

}  // namespace

std::string AbsolutePath(const std::string &Path) {
  std::string Whole = Path;
  if (Whole.empty() || Whole[0] != '/') {
    std::vector<char> Here(4096);
    while (!getcwd(Here.data(), Here.size()) && errno == ERANGE) Here.resize(Here.size() * 2);
    Whole = std::string(Here.data()) + "/" + Path;
  }
  std::vector<std::string> Steps;
  size_t Start = 0;
  while (Start <= Whole.size()) {
    size_t Slash = Whole.find('/', Start);
    if (Slash == std::string::npos) Slash = Whole.size();
    const std::string Step = Whole.substr(Start, Slash - Start);
    if (Step == "..") {
      if (!Steps.empty()) Steps.pop_back();
    } else if (!Step.empty() && Step != ".") {
      Steps.push_back(Step);
    }
    Start = Slash + 1;
  }
  std::string Out;
  for (const std::string &Step : Steps) Out += "/" + Step;
  return Out.empty() ? "/" : Out;
}

TOutputJournal::TOutputJournal(const std::string &Root) : FRoot(AbsolutePath(Root)) {
  if (FRoot.size() > 1 && FRoot.back() == '/') FRoot.pop_back();
  const std::string Folder = FRoot + "/" + FolderName;
  const std::unique_ptr<DIR, TDirCloser> Dir(opendir(Folder.c_str()));
  if (!Dir) return;
  std::vector<std::string> Names;
  while (const dirent *Entry = readdir(Dir.get()))
    if (Entry->d_name[0] != '.') Names.push_back(Entry->d_name);
  std::sort(Names.begin(), Names.end());
  for (const std::string &Name : Names) ReadFile(Folder + "/" + Name);
}

TOutputJournal::~TOutputJournal() {
  if (FFile >= 0) close(FFile);
}

void TOutputJournal::ReadFile(const std::string &Path) {
  std::ifstream In(Path);
  for (std::string Line; std::getline(In, Line);) {
    const std::vector<std::string> F = Fields(Line);
    TEntry Entry;
    if (const char *Kind = UnfinishedKind(F[0]); F.size() == 3 && Kind) {
      Entry.Kind = Kind;
      Entry.Output = F[1];
      Entry.Input = F[2];
    } else if (F.size() == 7 && F[0] == "done" && ReadInteger(F[3], Entry.InputSize) &&
               ReadInteger(F[4], Entry.InputTime) && ReadInteger(F[5], Entry.OutputSize) &&
               ReadInteger(F[6], Entry.OutputTime)) {
      Entry.Kind = "done";
      Entry.Done = true;
      Entry.Output = F[1];
      Entry.Input = F[2];
    } else {
      continue;  // a line cut short by a crash, or of a later kind
    }
    if (!Entry.Output.empty() && !Entry.Input.empty()) Add(std::move(Entry));
  }
}

void TOutputJournal::Add(TEntry Entry) {
  const size_t Index = FEntries.size();
  FByOutput.emplace(Entry.Output, Index);
  FByInput.emplace(Entry.Input, Index);
  FEntries.push_back(std::move(Entry));
}

bool TOutputJournal::Holds(const TEntry &Entry) const {
  int64_t InputSize, InputTime, OutputSize, OutputTime;
  return Entry.Done && FileFacts(Entry.Input, InputSize, InputTime) &&
         FileFacts(FRoot + "/" + Entry.Output, OutputSize, OutputTime) && InputSize == Entry.InputSize &&
         InputTime == Entry.InputTime && OutputSize == Entry.OutputSize && OutputTime == Entry.OutputTime;
}

std::string TOutputJournal::BelowRoot(const std::string &Output) const {
  const std::string Path = AbsolutePath(Output);
  const std::string Prefix = FRoot == "/" ? "/" : FRoot + "/";
  if (Path.size() <= Prefix.size() || Path.compare(0, Prefix.size(), Prefix) != 0) return "";
  return Path.substr(Prefix.size());
}

bool TOutputJournal::Finished(const std::string &Input, const std::string &Output) const {
  const std::string Source = AbsolutePath(Input);
  const auto [First, Last] = FByOutput.equal_range(BelowRoot(Output));
  return std::any_of(First, Last, [&](const auto &Item) {
    const TEntry &Entry = FEntries[Item.second];
    return Entry.Input == Source && Holds(Entry);
  });
}

std::string TOutputJournal::Beside(
    const std::string &Input, const std::string &Output,
    const std::function<bool(const TEntry &, const std::string &)> &Match) const {
  const std::string Below = BelowRoot(Output);
  if (Below.empty()) return "";
  const std::string Folder = FolderOf(Below), Name = NameOf(Below);
  const size_t Dot = Name.rfind('.');
  const std::string Stem = Name.substr(0, Dot), Extension = Dot == std::string::npos ? "" : Name.substr(Dot);
  // The name found, in the form Output is given in.
  const std::string Lead = Output.substr(0, Output.rfind('/') + 1);
  const auto [First, Last] = FByInput.equal_range(AbsolutePath(Input));
  for (auto Item = First; Item != Last; ++Item) {
    const TEntry &Entry = FEntries[Item->second];
    if (FolderOf(Entry.Output) == Folder && NameOfKind(NameOf(Entry.Output), Stem, Extension) &&
        Match(Entry, Lead + NameOf(Entry.Output)))
      return Lead + NameOf(Entry.Output);
  }
  return "";
}

std::string TOutputJournal::FinishedBeside(const std::string &Input, const std::string &Output) const {
  return Beside(Input, Output, [this](const TEntry &Entry, const std::string &) { return Holds(Entry); });
}

std::string TOutputJournal::UnfinishedBeside(const std::string &Input, const std::string &Output,
                                             const std::function<bool(const std::string &)> &Taken) const {
  return Beside(Input, Output, [&](const TEntry &Entry, const std::string &Name) {
    return !Entry.Done && !(Taken && Taken(Name));
  });
}

bool TOutputJournal::Knows(const std::string &Output) const { return FByOutput.count(BelowRoot(Output)) > 0; }

bool TOutputJournal::Owns(const std::string &Input, const std::string &Output) const {
  const std::string Source = AbsolutePath(Input);
  const auto [First, Last] = FByOutput.equal_range(BelowRoot(Output));
  return std::any_of(First, Last, [&](const auto &Item) { return FEntries[Item.second].Input == Source; });
}

bool TOutputJournal::Begin(const std::string &Input, const std::string &Output) {
  TEntry Entry;
  Entry.Output = BelowRoot(Output);
  Entry.Input = AbsolutePath(Input);
  return Write(Entry);
}

bool TOutputJournal::Unfinished(const std::string &Input, const std::string &Output, TOutcome Outcome) {
  TEntry Entry;
  Entry.Kind = Outcome == TOutcome::Partial ? "partial" : "stopped";
  Entry.Output = BelowRoot(Output);
  Entry.Input = AbsolutePath(Input);
  return Write(Entry);
}

bool TOutputJournal::Record(const std::string &Input, const std::string &Output) {
  TEntry Entry;
  Entry.Kind = "done";
  Entry.Done = true;
  Entry.Output = BelowRoot(Output);
  Entry.Input = AbsolutePath(Input);
  if (!FileFacts(Entry.Input, Entry.InputSize, Entry.InputTime) ||
      !FileFacts(Output, Entry.OutputSize, Entry.OutputTime)) {
    FError = "the source or the output is gone";
    return false;
  }
  return Write(Entry);
}

bool TOutputJournal::Write(const TEntry &Entry) {
  if (Entry.Output.empty()) {
    FError = "the output lies outside the output folder";
    return false;
  }
  if (FFile < 0) {
    const std::string Folder = FRoot + "/" + FolderName;
    if (mkdir(Folder.c_str(), 0777) != 0 && errno != EEXIST) {
      FError = "cannot make " + Folder + ": " + std::strerror(errno);
      return false;
    }
    const auto Now = std::chrono::system_clock::now().time_since_epoch();
    const std::string File =
        Folder + "/" + MachineName() + "-" + std::to_string(getpid()) + "-" +
        std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(Now).count()) + ".log";
    FFile = open(File.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (FFile < 0) {
      FError = "cannot write " + File + ": " + std::strerror(errno);
      return false;
    }
  }
  std::string Line = std::string(Entry.Kind) + "\t" + Escaped(Entry.Output) + "\t" + Escaped(Entry.Input);
  if (Entry.Done)
    for (const int64_t Value : {Entry.InputSize, Entry.InputTime, Entry.OutputSize, Entry.OutputTime})
      Line += "\t" + std::to_string(Value);
  Line += "\n";
  // One write per line: a crash leaves at most the last line cut short,
  // which reading leaves out.
  size_t Written = 0;
  while (Written < Line.size()) {
    const ssize_t Count = write(FFile, Line.data() + Written, Line.size() - Written);
    if (Count < 0 && errno == EINTR) continue;
    if (Count <= 0) {
      FError = std::string("cannot write the journal: ") + std::strerror(errno);
      return false;
    }
    Written += size_t(Count);
  }
  Add(Entry);
  return true;
}

namespace {

// The length, in seconds, a file declares for its picture (Video) or its
// sound: the stream's own, else the file's; -1 where it has no such stream
// or declares no length worth measuring against (one estimated from the
// bit rate is a guess from the file's size, which a cut file shrinks with it).
double DeclaredSeconds(const TAVProbe &Probe, bool Video) {
  const AVFormatContext *Context = Probe.FormatContext();
  const int Index = Video ? Probe.FirstVideoStream() : Probe.FirstAudioStream();
  if (!Context || Index < 0 || Context->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return -1;
  const AVStream *Stream = Context->streams[Index];
  if (Video && !TAVProbe::MainPicture(Stream)) return -1;
  if (Stream->duration != AV_NOPTS_VALUE && Stream->duration > 0)
    return double(Stream->duration) * av_q2d(Stream->time_base);
  if (Context->duration != AV_NOPTS_VALUE && Context->duration > 0)
    return double(Context->duration) / AV_TIME_BASE;
  return -1;
}

}  // namespace

bool WholeByLength(TAVProbe &Probe, const std::string &Input, const std::string &Output) {
  if (!Probe.LoadFile(Input, "")) return false;
  const double Declared[2] = {DeclaredSeconds(Probe, true), DeclaredSeconds(Probe, false)};
  Probe.CloseFile();
  if (!Probe.LoadFile(Output, "")) return false;
  const double Had[2] = {DeclaredSeconds(Probe, true), DeclaredSeconds(Probe, false)};
  const AVFormatContext *Context = Probe.FormatContext();
  const bool HasStream[2] = {
      Probe.FirstVideoStream() >= 0 && TAVProbe::MainPicture(Context->streams[Probe.FirstVideoStream()]),
      Probe.FirstAudioStream() >= 0};
  Probe.CloseFile();
  int Measured = 0;
  for (int Kind = 0; Kind < 2; ++Kind) {
    if (!HasStream[Kind] || Declared[Kind] <= 0) continue;
    if (Had[Kind] < 0) return false;
    const double Tolerance = std::max(1.0, Declared[Kind] / 20);
    if (Declared[Kind] - Had[Kind] > Tolerance) return false;
    ++Measured;
  }
  return Measured > 0;
}

TExistingOutput CheckExistingOutput(TOutputJournal &Journal, TAVProbe &Probe, const std::string &Input,
                                    const std::string &Planned, bool Overwrite,
                                    const std::function<bool(const std::string &)> &Taken) {
  if (Journal.Finished(Input, Planned)) return {true, Planned};
  if (std::string Beside = Journal.FinishedBeside(Input, Planned); !Beside.empty()) return {true, Beside};
  struct stat Status {};
  if (stat(Planned.c_str(), &Status) != 0 || Journal.Owns(Input, Planned)) return {false, Planned};
  if (!Journal.Knows(Planned) && S_ISREG(Status.st_mode) && WholeByLength(Probe, Input, Planned)) {
    Journal.Record(Input, Planned);  // a journal that cannot be written only costs the next run a look
    return {true, Planned};
  }
  // Overwriting never replaces another file's output the journal knows.
  if (Overwrite && !Journal.Knows(Planned)) return {false, Planned};
  if (std::string Mine = Journal.UnfinishedBeside(Input, Planned, Taken); !Mine.empty()) return {false, Mine};
  const size_t Slash = Planned.rfind('/'), Dot = Planned.rfind('.');
  const std::string Folder = Slash == std::string::npos ? "" : Planned.substr(0, Slash);
  const std::string Extension =
      Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash) ? "" : Planned.substr(Dot + 1);
  return {false, OutputFileName(Folder, Planned, Extension, false, Taken)};
}

bool NoteOutputEnd(TOutputJournal &Journal, const std::string &Input, const std::string &Output,
                   TOutcome Outcome, bool Skipping, bool KeptDate) {
  struct stat Status {};
  if (Output.empty() || stat(Output.c_str(), &Status) != 0 || !S_ISREG(Status.st_mode)) return true;
  if (Outcome == TOutcome::Done) return !(Skipping || Journal.Knows(Output)) || Journal.Record(Input, Output);
  if (Outcome != TOutcome::Stopped && Outcome != TOutcome::Partial) return true;
  if (KeptDate) {
    const timespec Now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    utimensat(AT_FDCWD, Output.c_str(), Now, 0);  // a date that cannot be set leaves the note to tell
  }
  return Journal.Unfinished(Input, Output, Outcome);
}

}  // namespace korvane
