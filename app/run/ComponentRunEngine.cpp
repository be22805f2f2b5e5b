#include "ComponentRunEngine.h"

namespace korvane {

void TComponentRunEngine::ClearTasks() {
  FComponent.ClearTasks();
  ++FTaskList;
}

}  // namespace korvane
