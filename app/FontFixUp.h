// SPDX-License-Identifier: GPL-3.0-or-later
// The font fix-up every window applies when it is created: on systems of
// major version 6 or later, a window whose font is not "Segoe UI" takes that
// font one point larger, when the system has it. Where the font is absent,
// as on most Linux desktops, nothing changes.
#pragma once

class QWidget;

namespace korvane {

// The operating system's major version (the kernel's on Linux); 0 when it
// cannot be told.
int OsMajorVersion();

void FormFontFixUp(QWidget &Window);

}  // namespace korvane
