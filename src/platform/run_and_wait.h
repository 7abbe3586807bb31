// Running a task on a thread of a service's own (the EDS layer's GLib thread, the Akonadi
// layer's Qt thread) and waiting for it, as the stores do from their serial queue.
#pragma once

#include <exception>
#include <future>

#include "platform/main_queue.h"

namespace pemrix::platform {

// Hands `task` to `post`, which runs it on the service's thread, and waits until it has
// run; an exception it throws is rethrown to the caller. Runs it at once when the caller
// is that thread already (`onThatThread`), where waiting would never end.
template <typename Post>
void runAndWait(bool onThatThread, Post post, const Task& task) {
  if (onThatThread) {
    task();
    return;
  }
  std::promise<void> done;
  post([&] {
    try {
      task();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  done.get_future().get();
}

}  // namespace pemrix::platform
