// SPDX-License-Identifier: GPL-3.0-or-later
#include "ComponentRunEngine.h"

namespace korvane {

void TComponentRunEngine::ClearTasks() {
  FComponent.ClearTasks();
  ++FTaskList;
}

}  // namespace korvane
