// SPDX-License-Identifier: GPL-3.0-or-later
// A TCP server on the loopback address that takes connections and never
// sends a byte: a source that keeps its reader waiting.
#pragma once

#include <string>

namespace korvane::test {

class TSilentServer {
 public:
  TSilentServer();
  ~TSilentServer();
  TSilentServer(const TSilentServer &) = delete;
  TSilentServer &operator=(const TSilentServer &) = delete;
  // The address to read from, "tcp://127.0.0.1:<port>".
  std::string Url() const;

 private:
  int FSocket = -1;
  int FPort = 0;
};

}  // namespace korvane::test
