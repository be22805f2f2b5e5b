// SPDX-License-Identifier: GPL-3.0-or-later
#include "SilentServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace korvane::test {

TSilentServer::TSilentServer() {
  FSocket = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Length = sizeof Address;
  // The system queues connections for a listening socket: nobody accepts them.
  if (FSocket < 0 || bind(FSocket, reinterpret_cast<sockaddr *>(&Address), sizeof Address) != 0 ||
      listen(FSocket, 8) != 0 || getsockname(FSocket, reinterpret_cast<sockaddr *>(&Address), &Length) != 0)
    throw std::runtime_error("no loopback socket to listen on");
  FPort = ntohs(Address.sin_port);
}

TSilentServer::~TSilentServer() {
  if (FSocket >= 0) close(FSocket);
}

std::string TSilentServer::Url() const { return "tcp://127.0.0.1:" + std::to_string(FPort); }

}  // namespace korvane::test
