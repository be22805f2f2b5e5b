// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderWalk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <utility>

namespace korvane {

namespace {

// A folder by what it is, whatever the path that reached it.
using TFolderID = std::pair<dev_t, ino_t>;

struct TDirCloser {
  void operator()(DIR *Dir) const { closedir(Dir); }
};

std::string Joined(const std::string &Folder, const std::string &Name) {
  if (Folder.empty()) return Name;
  return Folder.back() == '/' ? Folder + Name : Folder + "/" + Name;
}

// A named folder without its trailing slashes ("Phone/" is "Phone"), so
// that the paths below it read naturally; "/" stays.
std::string WithoutTrailingSlashes(std::string Path) {
  while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
  return Path;
}

// The names in Folder in byte order, or the reason it cannot be read.
bool ReadNames(const std::string &Folder, std::vector<std::string> &Names, std::string &Reason) {
  const std::unique_ptr<DIR, TDirCloser> Dir(opendir(Folder.c_str()));
  if (!Dir) {
    Reason = std::string("cannot read the folder: ") + std::strerror(errno);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent *Entry = readdir(Dir.get());
    if (!Entry) break;
    const std::string Name = Entry->d_name;
    if (Name != "." && Name != "..") Names.push_back(Name);
  }
  if (errno != 0) {
    Reason = std::string("cannot read the whole folder: ") + std::strerror(errno);
    return false;
  }
  std::sort(Names.begin(), Names.end());
  return true;
}

// One folder on the way down: its entries, and the next one to look at.
struct TLevel {
  std::string Path, Subfolder;
  TFolderID ID;
  std::vector<std::string> Names;
  size_t Next = 0;
};

class TTreeWalk {
 public:
  TTreeWalk(const std::function<void(TWalkEntry &&)> &Take, const std::function<bool()> &Stopped,
            const std::vector<std::string> &LeaveOut)
      : FTake(Take), FStopped(Stopped) {
    for (const std::string &Folder : LeaveOut) {
      struct stat Status {};
      if (stat(Folder.c_str(), &Status) == 0 && S_ISDIR(Status.st_mode))
        FLeftOut.emplace(Status.st_dev, Status.st_ino);
    }
  }

  void Named(const std::string &Path) {
    struct stat Status {};
    if (stat(Path.c_str(), &Status) != 0 || !S_ISDIR(Status.st_mode)) {
      TWalkEntry Entry;
      Entry.Path = Path;
      FTake(std::move(Entry));
      return;
    }
    const std::string Root = WithoutTrailingSlashes(Path);
    if (Enter(Root, "", Status)) Walk();
  }

 private:
  void Report(TWalkEntry::TKind Kind, const std::string &Path, const std::string &Subfolder,
              const std::string &Reason) {
    TWalkEntry Entry;
    Entry.Kind = Kind;
    Entry.Path = Path;
    Entry.Subfolder = Subfolder;
    Entry.Found = true;
    Entry.Reason = Reason;
    FTake(std::move(Entry));
  }

  // Steps into the folder Path (below the named one at Subfolder), unless
  // the walk has been there: false when it is left out.
  bool Enter(const std::string &Path, const std::string &Subfolder, const struct stat &Status) {
    const TFolderID ID{Status.st_dev, Status.st_ino};
    for (const TLevel &Level : FLevels)
      if (Level.ID == ID) {
        Report(TWalkEntry::TKind::Skipped, Path, Subfolder, "a link loop: it leads back to " + Level.Path);
        return false;
      }
    if (const auto Seen = FSeen.find(ID); Seen != FSeen.end()) {
      Report(TWalkEntry::TKind::Skipped, Path, Subfolder,
             "the same folder as " + Seen->second + ", which is walked already");
      return false;
    }
    FSeen.emplace(ID, Path);
    TLevel Level{Path, Subfolder, ID, {}, 0};
    std::string Reason;
    if (!ReadNames(Path, Level.Names, Reason)) {
      Report(TWalkEntry::TKind::Unreadable, Path, Subfolder, Reason);
      if (Level.Names.empty()) return false;
    }
    FLevels.push_back(std::move(Level));
    return true;
  }

  void Walk() {
    while (!FLevels.empty()) {
      if (FStopped && FStopped()) return;
      TLevel &Level = FLevels.back();
      if (Level.Next == Level.Names.size()) {
        FLevels.pop_back();
        continue;
      }
      const std::string Name = Level.Names[Level.Next++];
      const std::string Path = Joined(Level.Path, Name);
      const std::string Subfolder = Level.Subfolder;
      struct stat Status {};
      if (stat(Path.c_str(), &Status) != 0) {
        struct stat Link {};
        const bool Dangling = errno == ENOENT && lstat(Path.c_str(), &Link) == 0 && S_ISLNK(Link.st_mode);
        Report(
            TWalkEntry::TKind::Unreadable, Path, Subfolder,
            Dangling ? "a link that leads nowhere" : std::string("cannot be read: ") + std::strerror(errno));
      } else if (S_ISDIR(Status.st_mode)) {
        if (FLeftOut.count({Status.st_dev, Status.st_ino})) continue;
        Enter(Path, Joined(Subfolder, Name), Status);  // may move FLevels
      } else {
        TWalkEntry Entry;
        Entry.Kind = S_ISREG(Status.st_mode) ? TWalkEntry::TKind::File : TWalkEntry::TKind::Special;
        Entry.Path = Path;
        Entry.Subfolder = Subfolder;
        Entry.Found = true;
        if (Entry.Kind == TWalkEntry::TKind::Special) Entry.Reason = "not a regular file";
        FTake(std::move(Entry));
      }
    }
  }

  const std::function<void(TWalkEntry &&)> &FTake;
  const std::function<bool()> &FStopped;
  std::vector<TLevel> FLevels;             // the folders on the way down
  std::map<TFolderID, std::string> FSeen;  // every folder walked, with its first path
  std::set<TFolderID> FLeftOut;
};

}  // namespace

void WalkPaths(const std::vector<std::string> &Paths, const std::function<void(TWalkEntry &&)> &Take,
               const std::function<bool()> &Stopped, const std::vector<std::string> &LeaveOut) {
  // Folders are walked once whichever way they are reached, across the
  // whole list: a folder named twice gives its files once.
  TTreeWalk Walk(Take, Stopped, LeaveOut);
  for (const std::string &Path : Paths) {
    if (Stopped && Stopped()) return;
    Walk.Named(Path);
  }
}

}  // namespace korvane
