// SPDX-License-Identifier: GPL-3.0-or-later
#include "Startup.h"

#include "AboutBox.h"
#include "AdditionalOptions.h"
#include "MainWindow.h"

namespace korvane {

std::unique_ptr<TForm1> CreateApplicationWindows(TMessageShell &Messages) {
  auto Form1 = std::make_unique<TForm1>(Messages);
  if (!Form1->FormCreate()) return nullptr;
  Form1->FormAbout = new TFormAbout(Form1.get());
  new TForm4(*Form1);
  return Form1;
}

}  // namespace korvane
