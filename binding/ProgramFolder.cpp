// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgramFolder.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <system_error>

namespace korvane {

std::string ProgramFolder() {
  char Path[PATH_MAX] = {};
  const ssize_t Length = readlink("/proc/self/exe", Path, sizeof Path - 1);
  const std::string Text(Path, Length > 0 ? static_cast<size_t>(Length) : 0);
  const size_t Slash = Text.rfind('/');
  return Slash == std::string::npos ? "." : Text.substr(0, Slash);
}

std::string ResourceFolder() {
  const std::filesystem::path Program = ProgramFolder();
  std::error_code Ignored;
  if (std::filesystem::is_directory(Program / "Common Files", Ignored)) return Program.string();
  // Installed: named even when it is missing, so that a message about
  // missing files points where they belong.
  return (Program / ".." / "lib" / "korvane").lexically_normal().string();
}

}  // namespace korvane
