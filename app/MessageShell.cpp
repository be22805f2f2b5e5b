// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageShell.h"

#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTextStream>

namespace korvane {

namespace {

class TDialogShell : public TMessageShell {
 public:
  TMessageAnswer Show(QWidget *Parent, const TMessage &Message) override {
    QMessageBox Box(Message.Icon == TMessageIcon::Question ? QMessageBox::Question : QMessageBox::Information,
                    Message.Caption, Message.Text,
                    Message.YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, Parent);
    QAbstractButton *Action = !Message.YesNo && !Message.Action.isEmpty()
                                  ? Box.addButton(Message.Action, QMessageBox::ActionRole)
                                  : nullptr;
    if (Action) Box.setDefaultButton(QMessageBox::Ok);
    Box.setInformativeText(Message.Details);
    const int Pressed = Box.exec();
    if (Action && Box.clickedButton() == Action) return TMessageAnswer::Action;
    if (!Message.YesNo) return TMessageAnswer::Ok;
    return Pressed == QMessageBox::Yes ? TMessageAnswer::Yes : TMessageAnswer::No;
  }
};

class TTranscriptShell : public TMessageShell {
 public:
  explicit TTranscriptShell(QString Path) : FPath(std::move(Path)) {}
  TMessageAnswer Show(QWidget *, const TMessage &Message) override {
    QFile File(FPath);
    if (File.open(QIODevice::Append | QIODevice::Text)) QTextStream(&File) << TranscriptLine(Message) << '\n';
    return Message.YesNo ? TMessageAnswer::No : TMessageAnswer::Ok;
  }

 private:
  QString FPath;
};

}  // namespace

QString TranscriptLine(const TMessage &Message) {
  QString Text = Message.Details.isEmpty() ? Message.Text : Message.Text + "\n\n" + Message.Details;
  Text.replace('\n', "\\n").replace('\r', "\\r");
  const char *Icon = Message.Icon == TMessageIcon::Question ? "question" : "information";
  return Message.Caption + '\t' + Icon + '\t' + Text;
}

std::unique_ptr<TMessageShell> NewMessageShell() {
  const QString Transcript = qEnvironmentVariable("KORVANE_MESSAGE_TRANSCRIPT");
  if (!Transcript.isEmpty()) return std::make_unique<TTranscriptShell>(Transcript);
  return std::make_unique<TDialogShell>();
}

}  // namespace korvane
