// SerialQueue: a private serial queue at utility priority on which the stores do all
// their work, one task at a time, in submission order, off the main thread.
//
// Thread safety: `async` may be called from any thread. The destructor drops tasks that
// have not started and waits for the running one to return.
//
// Implementations: a private Dispatch queue on macOS (apple/serial_queue.mm); one worker
// thread on Linux desktops and in the simulator (threads/serial_queue.cc), from which each
// desktop backend reaches the thread its service's objects live on.
#pragma once

#include <memory>
#include <string>

#include "platform/main_queue.h"

namespace pemrix::platform {

class SerialQueue {
 public:
  // `label` names the queue in debuggers (reverse-DNS).
  explicit SerialQueue(const std::string& label);
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  void async(Task task);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Runs `task` once on a background thread at utility priority (the input reader's).
void runInBackground(Task task);

}  // namespace pemrix::platform
