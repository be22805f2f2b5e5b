// The file types the Add Files dialog offers: 24 description and pattern
// pairs, the first being the default.
#pragma once

#include <QStringList>

namespace korvane {

// The pairs as Qt's file-dialog filters, one per pair in order: the
// description followed by its patterns in parentheses, blank-separated
// ("AVI Files (*.avi) (*.avi)"). The dialog shows them with
// QFileDialog::HideNameFilterDetails, so the user reads the description.
QStringList OpenDialogNameFilters();

}  // namespace korvane
