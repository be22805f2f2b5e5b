// SPDX-License-Identifier: GPL-3.0-or-later
// The file types the Add Files dialog offers: description and pattern pairs,
// the first ("All Supported Files") being the default and the last any file;
// and how the file dialogs take a typed path.
#pragma once

#include <QFileDialog>
#include <QStringList>

namespace korvane {

// The pairs as Qt's file-dialog filters, one per pair in order: the
// description followed by its patterns in parentheses, blank-separated
// ("AVI Files (*.avi) (*.avi)"). The dialog shows them with
// QFileDialog::HideNameFilterDetails, so the user reads the description.
QStringList OpenDialogNameFilters();

// The patterns of "All Supported Files" ("*.avi", ...): what a dropped
// folder contributes.
QStringList SupportedFilePatterns();

// Lets the dialog's Open button take a typed name of an existing file
// whatever the selected filter: Qt's own dialog keeps it disabled for a
// name the filter does not show, although the probe may well read the file.
void AcceptTypedFileNames(QFileDialog &Dialog);

// Closes the list of completions that typing a path brings up when the
// dialog closes: Qt's own dialog leaves it open, and it would take every
// key meant for the window.
void CloseCompletionsWithDialog(QFileDialog &Dialog);

}  // namespace korvane
