// SPDX-License-Identifier: GPL-3.0-or-later
// Filling a file list without holding up its window: the files and folders
// a user adds are walked and probed on a thread of their own, and what they
// give comes back in batches. A file that was named is listed whatever it
// holds (a row marked "Error" when the probe cannot read it); a file found
// in a folder is listed when its content is media, as korvane-convert
// decides it, and counted otherwise.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "FileTracks.h"
#include "RowSetup.h"

namespace korvane {

// One row for the list.
struct TListedFile {
  std::string Path;
  std::string Subfolder;  // below the folder it was found in ("2024/june"); empty for a named file
  bool Readable = true;   // false: the probe could not read it (Reason says why)
  TFileRowTexts Texts;
  TFileDetails Details;  // its tracks and length, for the choices of what to convert
  std::string Reason;
};

// What a fill passed over.
struct TFillCounts {
  int Listed = 0;
  int NotMedia = 0;  // files found in folders whose content is no sound or film
  // Link loops, folders reached twice and folders that cannot be read, each
  // as "PATH: reason".
  std::vector<std::string> Skipped;
};

class TListFiller {
 public:
  // Rows found since the last call, in the walk's order; called on the
  // filler's thread, at most every Interval unless Batch rows are waiting.
  using TRows = std::function<void(std::vector<TListedFile> &&Rows)>;
  // Called once on the filler's thread after the last rows, stopped or not.
  using TDone = std::function<void(const TFillCounts &Counts)>;

  // Starts at once. The media libraries must be loaded.
  TListFiller(std::vector<std::string> Paths, TRows Rows, TDone Done,
              std::chrono::milliseconds Interval = std::chrono::milliseconds(100), size_t Batch = 200);
  // Stops the walk and waits for the thread.
  ~TListFiller();
  TListFiller(const TListFiller &) = delete;
  TListFiller &operator=(const TListFiller &) = delete;

  // Ends the walk at the next file; what was found so far still comes.
  void Stop() { FStopped = true; }

 private:
  void Fill(const std::vector<std::string> &Paths);

  TRows FRows;
  TDone FDone;
  const std::chrono::milliseconds FInterval;
  const size_t FBatch;
  std::atomic<bool> FStopped{false};
  std::thread FThread;
};

}  // namespace korvane
