// SPDX-License-Identifier: GPL-3.0-or-later
#include "OutputClaims.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace korvane {

namespace {

struct TClaims {
  std::mutex Lock;
  std::vector<TFileIdentity> Files;  // guarded by Lock
};

TClaims &Claims() {
  static TClaims Instance;
  return Instance;
}

// The identity of the regular file Path names now; unknown for anything else.
TFileIdentity RegularFileIdentity(const std::string &Path) {
  struct stat Status {};
  if (stat(Path.c_str(), &Status) != 0 || !S_ISREG(Status.st_mode)) return {};
  return {Status.st_dev, Status.st_ino};
}

}  // namespace

bool OutputFileClaimed(const std::string &Path) {
  const TFileIdentity Identity = RegularFileIdentity(Path);
  if (!Identity.Known()) return false;
  std::lock_guard Guard(Claims().Lock);
  return std::find(Claims().Files.begin(), Claims().Files.end(), Identity) != Claims().Files.end();
}

TFileIdentity ClaimOutputFile(const std::string &Path) {
  const TFileIdentity Identity = RegularFileIdentity(Path);
  if (!Identity.Known()) return {};
  std::lock_guard Guard(Claims().Lock);
  Claims().Files.push_back(Identity);
  return Identity;
}

void ReleaseOutputFile(const TFileIdentity &Identity) {
  if (!Identity.Known()) return;
  std::lock_guard Guard(Claims().Lock);
  auto &Files = Claims().Files;
  if (const auto Found = std::find(Files.begin(), Files.end(), Identity); Found != Files.end())
    Files.erase(Found);
}

}  // namespace korvane
