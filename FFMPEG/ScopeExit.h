// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a piece of code when the scope it guards is left, by return or by
// exception: the options an open consumes, a half-built output undone.
#pragma once

#include <utility>

namespace korvane {

template <typename T>
class TScopeExit {
 public:
  explicit TScopeExit(T Action) : FAction(std::move(Action)) {}
  ~TScopeExit() {
    if (FArmed) FAction();
  }
  TScopeExit(const TScopeExit &) = delete;
  TScopeExit &operator=(const TScopeExit &) = delete;
  // The scope ended as it should: nothing to undo.
  void Dismiss() { FArmed = false; }

 private:
  T FAction;
  bool FArmed = true;
};

}  // namespace korvane
