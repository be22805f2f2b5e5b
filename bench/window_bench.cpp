// SPDX-License-Identifier: GPL-3.0-or-later
// The window's queue against the command line: eight short clips through one
// profile, converted by the real window (offscreen, its 100 ms timer between
// rows) one and two files at a time, and by korvane-convert --jobs 1 and
// --jobs 2. Prints the median wall time of three runs of each and the
// window's cost per row beyond the command line.
// Usage: window_bench [PROFILE]
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "AdditionalOptions.h"
#include "DropDownCombo.h"
#include "MediaFixtures.h"
#include "ProgramFolder.h"
#include "WindowFixture.h"

namespace {

constexpr int Clips = 8;
constexpr int Rounds = 3;

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  using namespace korvane::test;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir Work;
  qputenv("XDG_CONFIG_HOME", Work.filePath("config").toUtf8());
  QApplication Application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const QString Profile = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "MP4 - MPEG4 Video (*.mp4)";

  QStringList Files;
  std::string Quoted;
  for (int I = 0; I < Clips; ++I) {
    Files << Work.filePath(QString("clip%1.avi").arg(I, 2, 10, QChar('0')));
    if (!RunFFmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=3 -f lavfi -i sine=frequency=" +
                   std::to_string(300 + 40 * I) + ":duration=3 -c:v mpeg4 -c:a mp2 -shortest \"" +
                   Files.last().toStdString() + "\""))
      return 1;
    Quoted += " '" + Files.last().toStdString() + "'";
  }

  for (const int AtOnce : {1, 2}) {
    std::vector<double> Window, Command;
    for (int Round = 0; Round < Rounds; ++Round) {
      const QString Out = Work.filePath(QString("window%1-%2").arg(AtOnce).arg(Round));
      QDir().mkpath(Out);
      TWindowUnderTest Under;
      korvane::TForm1 &Form = Under.Form();
      const int Row = Form.ComboOutputFormat->findText(Profile);
      Form.ComboOutputFormat->setCurrentIndex(Row);
      emit Form.ComboOutputFormat->activated(Row);
      Form.EditOutputFolder->setText(Out);
      Form.Form4->SpinEditFilesAtOnce->setValue(AtOnce);
      AddFiles(Form, Files);
      QElapsedTimer Clock;
      Clock.start();
      Form.ButtonConvert->click();
      while (Form.Converting() || Form.TimerConvertAgain->isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
      Window.push_back(Clock.elapsed() / 1000.0);

      const std::string CommandOut =
          Work.filePath(QString("command%1-%2").arg(AtOnce).arg(Round)).toStdString();
      const std::string Convert = "mkdir -p '" + CommandOut + "' && '" + korvane::ProgramFolder() +
                                  "/korvane-convert' --log-level quiet --jobs " + std::to_string(AtOnce) +
                                  " -p '" + Profile.toStdString() + "' -o '" + CommandOut + "'" + Quoted +
                                  " 2>/dev/null";
      Clock.restart();
      if (std::system(Convert.c_str()) != 0) std::fprintf(stderr, "korvane-convert failed\n");
      Command.push_back(Clock.elapsed() / 1000.0);
    }
    const double W = Median(Window), C = Median(Command);
    std::printf("profile: %s, %d clips of 3 s 320x240, median of %d runs, %d at a time\n",
                qPrintable(Profile), Clips, Rounds, AtOnce);
    std::printf("window queue              %7.2f s\n", W);
    std::printf("korvane-convert --jobs %d  %7.2f s\n", AtOnce, C);
    std::printf("window beyond the command line: %.0f ms per row (the queue's timer waits 100 to 200 ms)\n",
                (W - C) * 1000 / Clips);
  }
  return 0;
}
