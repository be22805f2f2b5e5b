// SPDX-License-Identifier: GPL-3.0-or-later
// Every message box of the window goes through this one small interface, so
// that a test (or an automated run) can read the caption, icon and text and
// answer it, and the window never blocks where nobody can click.
#pragma once

#include <QString>
#include <memory>

class QWidget;

namespace korvane {

enum class TMessageIcon { Information, Question };
enum class TMessageAnswer { Ok, Yes, No, Action };

struct TMessage {
  QString Caption;
  QString Text;
  TMessageIcon Icon = TMessageIcon::Information;
  bool YesNo = false;  // Yes and No buttons; otherwise a single OK
  // With OK: a second button with this text, answered with Action.
  QString Action = {};
  // A line under the text, in the platform's smaller type (what a run's
  // files weigh before and after, say); empty: none.
  QString Details = {};
};

class TMessageShell {
 public:
  virtual ~TMessageShell() = default;
  // Shows Message modally over Parent and returns the button pressed. A box
  // closed without a button counts as No (or OK when it has only OK).
  virtual TMessageAnswer Show(QWidget *Parent, const TMessage &Message) = 0;
};

// The shell's own message boxes. When the environment names a transcript
// file in KORVANE_MESSAGE_TRANSCRIPT, a box is not shown: its caption, icon
// and text are appended there as one line and it is answered with its
// default button (OK, or No for a question). That lets an unattended start
// (a test of the installed program, a screenshot script) run through.
std::unique_ptr<TMessageShell> NewMessageShell();

// One line of such a transcript: caption, icon name and text (with the
// details, if any, after an empty line), separated by tabs, with line
// breaks in the text written as \n and \r.
QString TranscriptLine(const TMessage &Message);

}  // namespace korvane
