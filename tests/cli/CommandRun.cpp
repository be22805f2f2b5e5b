// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandRun.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <sstream>
#include <thread>

extern char **environ;

namespace korvane::test {

namespace fs = std::filesystem;

std::string Program() { return "'" + ExecutableDirectory() + "/korvane-convert'"; }

TCommandResult Convert(const std::string &Arguments) { return RunCommand(Program() + " " + Arguments, true); }

int StopWithSignal(const std::string &Arguments, const std::string &Errors, const std::string &Watched,
                   int Signal, std::chrono::milliseconds Delay, const std::string &Output) {
  const std::string Command = "exec " + Program() + " " + Arguments + " 2>'" + Errors + "' >'" + Output + "'";
  const char *Words[] = {"sh", "-c", Command.c_str(), nullptr};
  pid_t Child = 0;
  if (posix_spawn(&Child, "/bin/sh", nullptr, nullptr, const_cast<char **>(Words), environ) != 0) return -1;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  const auto Exe = "/proc/" + std::to_string(Child) + "/exe";
  std::error_code Error;
  while (fs::read_symlink(Exe, Error).filename() != "korvane-convert" &&
         std::chrono::steady_clock::now() < Deadline)
    std::this_thread::yield();
  std::this_thread::sleep_for(Delay);
  while (!Watched.empty() && (!fs::exists(Watched) || fs::file_size(Watched) < 100000) &&
         std::chrono::steady_clock::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(Child, Signal);
  if (Watched.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(Child, Signal);
  }
  int Status = 0;
  waitpid(Child, &Status, 0);
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

std::vector<std::map<std::string, std::string>> JsonEvents(const std::string &File) {
  const char *Script =
      "import json, os, sys\n"
      "for line in open(sys.argv[1], 'rb'):\n"
      "    event = json.loads(line)\n"
      "    assert isinstance(event, dict) and 'event' in event, line\n"
      "    sys.stdout.buffer.write(b'\\t'.join(k.encode() + b'=' + (os.fsencode(v) if isinstance(v, str) "
      "else json.dumps(v).encode()) for k, v in event.items()) + b'\\n')\n";
  WriteFile(File + ".py", Script);
  const TCommandResult R = RunCommand("python3 '" + File + ".py' '" + File + "'", true);
  EXPECT_EQ(R.Status, 0) << R.Output << ReadFile(File);
  std::vector<std::map<std::string, std::string>> Events;
  for (const std::string &Line : Lines(R.Output)) {
    auto &Fields = Events.emplace_back();
    std::istringstream In(Line);
    for (std::string Field; std::getline(In, Field, '\t');)
      Fields[Field.substr(0, Field.find('='))] = Field.substr(Field.find('=') + 1);
  }
  return Events;
}

std::map<std::string, std::string> Outcomes(const std::vector<std::map<std::string, std::string>> &Events) {
  std::map<std::string, std::string> Out;
  for (const auto &E : Events)
    if (E.at("event") == "end") Out[E.at("file")] = E.at("outcome");
  return Out;
}

}  // namespace korvane::test
