#include "ProgramFolder.h"

#include <unistd.h>

#include <climits>

namespace korvane {

std::string ProgramFolder() {
  char Path[PATH_MAX] = {};
  const ssize_t Length = readlink("/proc/self/exe", Path, sizeof Path - 1);
  const std::string Text(Path, Length > 0 ? static_cast<size_t>(Length) : 0);
  const size_t Slash = Text.rfind('/');
  return Slash == std::string::npos ? "." : Text.substr(0, Slash);
}

}  // namespace korvane
