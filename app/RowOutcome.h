// SPDX-License-Identifier: GPL-3.0-or-later
// The words a row's "Progress" cell ends a conversion with ("Done",
// "Partial", "Fail", "Abort", "Error"): the colour each is shown in, so a
// row that needs a look stands out, and what each means in plain words, for
// the row's log.
#pragma once

#include <QColor>
#include <QString>

class QPalette;

namespace korvane {

// The colour a "Progress" text is shown in on Palette's base (light or
// dark); an invalid colour for texts shown in the list's own (percentages,
// "Abort").
QColor OutcomeColour(const QString &Text, const QPalette &Palette);

// What the outcome Text means, in a sentence, with the row's Reason after
// it where there is one.
QString OutcomeSentence(const QString &Text, const QString &Reason);

}  // namespace korvane
