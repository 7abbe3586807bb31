// Driving the std::thread main queue by hand on virtual time: what the main thread would
// run, on the test's own thread, at virtual moments the test chooses. The queue is reached
// through `MainQueueAccess`, which platform/main_queue.h declares for this and the product
// never defines.
//
// Thread safety: call only from the one thread that stands in for the main thread.
#pragma once

#include <cstddef>

#include "platform/main_queue.h"
#include "support/manual_clock.h"

namespace pemrix::testing {

// Runs queued tasks and delayed tasks that are due until none is ready; returns how many
// ran.
std::size_t runReady(platform::MainQueue& queue);

// Moves `clock` forward by `seconds`, stopping at each delayed task's moment to run what
// is ready then, so that tasks run at their own virtual times. `clock` must be the one the
// queue counts on.
void advance(platform::MainQueue& queue, ManualClock& clock, double seconds);

// Blocks (in real time, at most `realSeconds`) until a task has been submitted that has
// not run yet; returns whether there is one.
bool waitForTask(platform::MainQueue& queue, double realSeconds);

}  // namespace pemrix::testing
