// Cancelling a delayed task of the main queue; the same on every platform.
#include "platform/delayed_task_state.h"

namespace pemrix::platform {

void DelayedTask::cancel() {
  if (!state_) return;
  state_->cancelled = true;
  state_->task = nullptr;  // releases what the task holds
}

}  // namespace pemrix::platform
