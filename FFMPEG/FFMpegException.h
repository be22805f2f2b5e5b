// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's exception for every validation and set-up failure; its
// message is the fixed English text the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace korvane {

class FFMpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A broken precondition of an option value (a codec tag that is not four
// characters); its message names the engine as the source.
class EAssertionFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Inside a handler: the text of the exception being handled.
inline std::string HandledExceptionText() {
  try {
    throw;
  } catch (const std::exception &E) {
    return E.what();
  } catch (...) {
    return "unknown exception";
  }
}

}  // namespace korvane
