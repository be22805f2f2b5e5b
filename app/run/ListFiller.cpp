// SPDX-License-Identifier: GPL-3.0-or-later
#include "ListFiller.h"

#include "AVProbe.h"
#include "FailureReasons.h"
#include "FolderWalk.h"
#include "MediaFiles.h"

namespace korvane {

TListFiller::TListFiller(std::vector<std::string> Paths, TRows Rows, TDone Done,
                         std::chrono::milliseconds Interval, size_t Batch)
    : FRows(std::move(Rows)), FDone(std::move(Done)), FInterval(Interval), FBatch(Batch) {
  FThread = std::thread([this, Paths = std::move(Paths)] { Fill(Paths); });
}

TListFiller::~TListFiller() {
  Stop();
  FThread.join();
}

void TListFiller::Fill(const std::vector<std::string> &Paths) {
  using TClock = std::chrono::steady_clock;
  TAVProbe Probe;  // the thread's own: the window's stays free
  TFillCounts Counts;
  std::vector<TListedFile> Rows;
  TClock::time_point Sent = TClock::now();
  const auto Send = [&](bool Now) {
    if (Rows.empty() || (!Now && Rows.size() < FBatch && TClock::now() - Sent < FInterval)) return;
    FRows(std::move(Rows));
    Rows.clear();
    Sent = TClock::now();
  };
  const auto Take = [&](TWalkEntry &&Entry) {
    if (Entry.Kind == TWalkEntry::TKind::Special) {
      ++Counts.NotMedia;
      return;
    }
    if (Entry.Kind != TWalkEntry::TKind::File) {
      Counts.Skipped.push_back(Entry.Path + ": " + Entry.Reason);
      return;
    }
    TListedFile Row;
    Row.Path = std::move(Entry.Path);
    Row.Subfolder = std::move(Entry.Subfolder);
    try {
      if (Entry.Found) {
        std::string Reason;
        const TMediaKind Kind = ProbeMediaKind(Probe, Row.Path, Reason);
        if (Kind == TMediaKind::NotMedia) {
          ++Counts.NotMedia;
          return;
        }
        Row.Readable = Kind == TMediaKind::Media;
        Row.Reason = Reason;
      } else {
        Row.Readable = Probe.LoadFile(Row.Path, "");
        if (!Row.Readable) Row.Reason = Probe.LastError();
      }
      if (Row.Readable) {
        Row.Texts = FileRowTexts(Probe);
        Row.Details = ReadFileDetails(Probe);
      }
    } catch (const std::exception &E) {
      Row.Readable = false;
      Row.Reason = E.what();
    }
    if (!Row.Readable) Row.Reason = ExplainedFailure(Row.Reason, Row.Path);
    Probe.CloseFile();
    Rows.push_back(std::move(Row));
    ++Counts.Listed;
    Send(false);
  };
  WalkPaths(Paths, Take, [this] { return FStopped.load(); });
  Send(true);
  FDone(Counts);
}

}  // namespace korvane
