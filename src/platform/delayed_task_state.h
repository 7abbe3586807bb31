// The shared state behind a DelayedTask, for the main-queue implementations. Touched only
// on the main queue: by `DelayedTask::cancel` and by the queue when the task comes due.
#pragma once

#include <cstdint>

#include "platform/main_queue.h"

namespace pemrix::platform {

struct DelayedTask::State {
  Task task;
  bool cancelled = false;
  // Where the std::thread queue keeps the task in its timer heap: the uptime at which it
  // comes due, and the order in which it was scheduled. Dispatch keeps its own.
  double due = 0;
  uint64_t sequence = 0;
};

}  // namespace pemrix::platform
