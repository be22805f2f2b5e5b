// SPDX-License-Identifier: GPL-3.0-or-later
// The "Estimated Size" column: how big each row's output will be with the
// choices shown, kept up to date as the profile, a choice or a row's
// tracks and range change. A rate chosen gives the size by arithmetic, at
// once; a quality step leaves it to the encoder, and the estimator codes
// samples of the file in the background, which come back through queued
// calls. After converting, the row shows its output's size beside the
// estimate.
#include <QTimer>

#include "FileListView.h"
#include "MainWindow.h"

namespace korvane {

void TForm1::CreateEstimator() {
  FEstimateTimer = new QTimer(this);
  FEstimateTimer->setSingleShot(true);
  FEstimateTimer->setInterval(50);
  connect(FEstimateTimer, &QTimer::timeout, this, [this] { UpdateEstimates(); });
  FEstimator = std::make_unique<TSizeEstimator>(
      FLibraryFolder, [this](uint64_t Id, const std::string &Key, const TSizeEstimate &Estimate) {
        QMetaObject::invokeMethod(
            this, [this, Id, Key, Estimate] { ShowEstimate(Id, Key, Estimate); }, Qt::QueuedConnection);
      });
}

void TForm1::EstimateSoon() {
  if (FEstimateTimer) FEstimateTimer->start();
}

void TForm1::UpdateEstimates() {
  for (int Row = 0; Row < ListView1->RowCount(); ++Row) EstimateRow(Row);
}

void TForm1::EstimateRow(int Row) {
  // A file that could not be read has no output to expect.
  if (ListView1->SubItem(Row, siDuration).isEmpty() || !FEstimator) return;
  const quint64 Id = ListView1->RowId(Row);
  TRowEstimate Shown = ListView1->Estimate(Row);
  TConversionSetup Setup;
  try {
    Setup = FRun.RowSetup(Row);
  } catch (const std::exception &E) {
    // A target size the file cannot meet, say: the reason is the estimate.
    FEstimator->Cancel(Id);
    TRowEstimate None;
    None.Why = E.what();
    ListView1->SetEstimate(Row, None);
    return;
  }
  const std::string Key = EstimateKey(Setup);
  if (Key == Shown.Key) return;  // nothing its size depends on has changed
  Shown = TRowEstimate();
  Shown.Key = Key;
  const TFileRowTexts Texts = FRun.RowTexts(Row);
  const TRowChoices Pick = ListView1->Choices(Row);
  if (const std::optional<double> Bytes = RateEstimate(Setup, Texts, Pick)) {
    FEstimator->Cancel(Id);
    Shown.Bytes = *Bytes;
  } else if (const std::optional<TSizeEstimate> Known = FEstimator->Request(Id, Setup, Texts, Pick)) {
    Shown.Bytes = Known->Error.empty() ? Known->Bytes : -1;
    Shown.Why = Known->Error;
  } else {
    Shown.Pending = true;
  }
  ListView1->SetEstimate(Row, Shown);
}

void TForm1::ShowEstimate(quint64 Id, const std::string &Key, const TSizeEstimate &Estimate) {
  const int Row = ListView1->RowOfId(Id);
  if (Row < 0) return;
  TRowEstimate Shown = ListView1->Estimate(Row);
  if (Shown.Key != Key) return;  // made for choices the row no longer has
  Shown.Pending = false;
  Shown.Bytes = Estimate.Error.empty() ? Estimate.Bytes : -1;
  Shown.Why = Estimate.Error;
  ListView1->SetEstimate(Row, Shown);
}

void TForm1::SetRowOutputSize(int Row, int64_t Bytes) {
  TRowEstimate Shown = ListView1->Estimate(Row);
  Shown.Written = Bytes;
  ListView1->SetEstimate(Row, Shown);
}

}  // namespace korvane
