// SPDX-License-Identifier: GPL-3.0-or-later
#include "RowOutcome.h"

#include <QPalette>

namespace korvane {

namespace {

struct TOutcome {
  const char *Word;
  const char *Meaning;
  // Each readable on its base (a contrast of at least 4.5 to 1): darker on
  // a light list, lighter on a dark one. Empty: the list's own text colour.
  const char *OnLight, *OnDark;
};

constexpr TOutcome kOutcomes[] = {
    {"Done", "Converted.", "#1E7B34", "#7BD88F"},
    {"Partial", "Partly converted: the output is kept, but it holds less than the source.", "#8F5B00",
     "#FFC247"},
    {"Fail", "Not converted.", "#C0262D", "#FF8A80"},
    {"Error", "Could not be read, so it cannot be converted.", "#C0262D", "#FF8A80"},
    {"Abort", "Stopped before its end; the output so far is kept.", "", ""},
    {"Skipped", "Not converted again: its output is complete already.", "", ""},
};

const TOutcome *FindOutcome(const QString &Text) {
  for (const TOutcome &Outcome : kOutcomes)
    if (Text == QLatin1String(Outcome.Word)) return &Outcome;
  return nullptr;
}

}  // namespace

QColor OutcomeColour(const QString &Text, const QPalette &Palette) {
  const TOutcome *Outcome = FindOutcome(Text);
  if (!Outcome) return {};
  const bool Dark = Palette.color(QPalette::Base).lightnessF() < 0.5;
  const char *Name = Dark ? Outcome->OnDark : Outcome->OnLight;
  return *Name ? QColor(QString::fromLatin1(Name)) : QColor();
}

QString OutcomeSentence(const QString &Text, const QString &Reason) {
  const TOutcome *Outcome = FindOutcome(Text);
  QString Sentence = Outcome                    ? QString::fromLatin1(Outcome->Meaning)
                     : Text.endsWith('%')       ? QStringLiteral("Being converted: %1.").arg(Text)
                     : Text.trimmed().isEmpty() ? QStringLiteral("Not converted in this run.")
                                                : Text;
  if (!Reason.isEmpty()) Sentence += "\n\n" + Reason;
  return Sentence;
}

}  // namespace korvane
