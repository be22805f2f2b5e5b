// SPDX-License-Identifier: GPL-3.0-or-later
// Creating the program's windows in their order: the main window (its
// start-up loads the media libraries), the About box, then the Additional
// Options dialog, whose creation loads the stored settings.
#pragma once

#include <memory>

namespace korvane {

class TForm1;
class TMessageShell;

// The main window, owning the two dialogs; none when the media libraries
// could not be loaded (the re-install message has then been shown).
std::unique_ptr<TForm1> CreateApplicationWindows(TMessageShell &Messages);

}  // namespace korvane
