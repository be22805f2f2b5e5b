// SPDX-License-Identifier: GPL-3.0-or-later
// Running korvane-convert as a user runs it, for the tests of its
// requests: the program, a folder of its own for each test, a stop by a
// signal, and its --json lines read back by Python's json module.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "MediaCheck.h"
#include "MediaFixtures.h"
#include "TestEnvironment.h"

namespace korvane::test {

// The program, quoted for the shell.
std::string Program();

// Runs the program with Arguments; standard output and error together.
TCommandResult Convert(const std::string &Arguments);

class ConvertCommand : public ::testing::Test {
 protected:
  const TMediaClips &Clips = MediaClips();
  TTempDir Temp;
  std::string Quoted(const std::string &Path) const { return "'" + Path + "'"; }
};

// Starts the program with Arguments (standard error to Errors, standard
// output to Output) and sends it
// Signal once Watched has grown past 100 kB, or, with no Watched, Delay
// after the program itself started, and then once more 50 ms later, as
// timeout(1) sends it to the process and to its group; its exit status, or
// -1 when it did not exit normally.
int StopWithSignal(const std::string &Arguments, const std::string &Errors, const std::string &Watched,
                   int Signal, std::chrono::milliseconds Delay = {}, const std::string &Output = "/dev/null");

// The lines of korvane-convert --json in File as Python's json module reads
// them: one map of field to value per line, texts as the bytes Python
// turns them back into (os.fsencode), other values as JSON. Fails the test
// when a line is no JSON object with an "event".
std::vector<std::map<std::string, std::string>> JsonEvents(const std::string &File);

// The end line or event of each file, by file.
std::map<std::string, std::string> Outcomes(const std::vector<std::map<std::string, std::string>> &Events);

}  // namespace korvane::test
