// SPDX-License-Identifier: GPL-3.0-or-later
#include "OpenDialogFilter.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <string_view>

namespace korvane {

namespace {

struct TFilterPair {
  std::string_view Description;
  std::string_view Patterns;  // separated by ";", some with a blank after it
};

constexpr TFilterPair kFilterPairs[] = {
    {"All Supported Files",
     "*.avi;*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2;*.wma;*.wmv;*.asf;*.asx;*.mov; *.qt;*.3gp;*.3g2;*.mp3;*.mp2;*.ogg;"
     "*.aac;*.mp4;*.m4a;*.rm;*.rmvb;*.ram;*.ra;*.vob; *.dat;*.cda;*.dv; *.dif;*.wav; *.au; *.aiff;*.mjpg; "
     "*.mjpeg;*.ac3; *.gif; *.swf; "
     "*.flv;*.mkv;*.mka;*.webm;*.m4v;*.ts;*.m2ts;*.mts;*.ogv;*.oga;*.opus;*.flac;"
     "*.wv;*.amr;*.mxf"},
    {"3GPP Files (*.3gp)", "*.3gp"},
    {"3GPP2 Files (*.3g2)", "*.3g2"},
    {"AAC Files (*.aac)", "*.aac"},
    {"AC3 Files (*.ac3)", "*.ac3"},
    {"Audio CD Files (*.cda)", "*.cda"},
    {"AVI Files (*.avi)", "*.avi"},
    {"DV Video Files (*.dv, *.dif)", "*.dv;*.dif"},
    {"DVD VOB Files (*.vob)", "*.vob"},
    {"GIF Animated Files (*.gif)", "*.gif"},
    {"Macromedia Flash Files (*.flv, *.swf)", "*.flv; *.swf"},
    {"Monkey Audio Files (*.ape, *.cue)", "*.ape;*.cue"},
    {"MJpeg Video Files (*.mjpg, *.mjpeg)", "*.mjpg; *.mjpeg"},
    {"MP2 Files (*.mp2)", "*.mp2"},
    {"MP3 Files (*.mp3)", "*.mp3"},
    {"MPEG Files (*.mpeg, *.mpg, *.mpa, *.m1v, *.mv2)", "*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2"},
    {"MPEG-4 Files (*.mp4)", "*.mp4"},
    {"MPEG-4 Audio Files (*.m4a, *.mp4)", "*.m4a; *.mp4"},
    {"Ogg Vorbis Files (*.ogg)", "*.ogg"},
    {"RealMedia Files (*.rm, *.rmvb, *.ram, *.ra)", "*.rm; *.rmvb; *.ram; *.ra"},
    {"QuickTime Files (*.mov, *.qt)", "*.mov; *.qt"},
    {"VCD DAT Files (*.dat)", "*.dat"},
    {"WAV Files (*.wav, *.au, *.aiff)", "*.wav; *.au; *.aiff"},
    {"Windows Media Files(*.wma, *.wmv, *.asf, *.asx)", "*.wma;*.wmv;*.asf;*.asx"},
    // What people get today, after the long-standing types; last, any file:
    // the probe decides whether it can be converted.
    {"Matroska Files (*.mkv, *.mka)", "*.mkv;*.mka"},
    {"WebM Files (*.webm)", "*.webm"},
    {"MPEG Transport Streams (*.ts, *.m2ts, *.mts)", "*.ts;*.m2ts;*.mts"},
    {"FLAC Files (*.flac)", "*.flac"},
    {"Opus Files (*.opus)", "*.opus"},
    {"All Files (*)", "*"},
};

QStringList PatternsOf(const TFilterPair &Pair) {
  QStringList Patterns;
  for (const QString &Pattern : QString::fromUtf8(Pair.Patterns.data(), Pair.Patterns.size()).split(';'))
    if (!Pattern.trimmed().isEmpty()) Patterns << Pattern.trimmed();
  return Patterns;
}

}  // namespace

QStringList OpenDialogNameFilters() {
  QStringList Filters;
  for (const TFilterPair &Pair : kFilterPairs)
    Filters << QString::fromUtf8(Pair.Description.data(), Pair.Description.size()) + " (" +
                   PatternsOf(Pair).join(' ') + ")";
  return Filters;
}

QStringList SupportedFilePatterns() { return PatternsOf(kFilterPairs[0]); }

void AcceptTypedFileNames(QFileDialog &Dialog) {
  auto *Edit = Dialog.findChild<QLineEdit *>("fileNameEdit");
  auto *Buttons = Dialog.findChild<QDialogButtonBox *>("buttonBox");
  if (!Edit || !Buttons) return;  // a dialog of another make: it decides itself
  // Runs after the dialog's own check of the same event, so it has the last word.
  const auto Check = [&Dialog, Edit, Buttons] {
    QPushButton *Open = Buttons->button(QDialogButtonBox::Open);
    if (!Open || Open->isEnabled() || Edit->text().trimmed().isEmpty()) return;
    const QStringList Files = Dialog.selectedFiles();
    bool AllFiles = !Files.isEmpty();
    for (const QString &File : Files) AllFiles &= QFileInfo(File).isFile();
    if (AllFiles) Open->setEnabled(true);
  };
  const auto Later = [&Dialog, Check] { QMetaObject::invokeMethod(&Dialog, Check, Qt::QueuedConnection); };
  QObject::connect(Edit, &QLineEdit::textChanged, &Dialog, Later);
  QObject::connect(&Dialog, &QFileDialog::currentChanged, &Dialog, Later);
  if (auto *Model = Dialog.findChild<QFileSystemModel *>())
    QObject::connect(Model, &QFileSystemModel::directoryLoaded, &Dialog, Later);
}

void CloseCompletionsWithDialog(QFileDialog &Dialog) {
  QObject::connect(&Dialog, &QDialog::finished, &Dialog, [&Dialog] {
    for (QCompleter *Completer : Dialog.findChildren<QCompleter *>())
      if (Completer->popup() && Completer->popup()->isVisible()) Completer->popup()->hide();
  });
}

}  // namespace korvane
