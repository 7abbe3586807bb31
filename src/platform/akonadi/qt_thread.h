// QtThread: the one thread of the process that owns a QCoreApplication and runs its event
// loop. Every Akonadi job, the change monitor and every Qt object of the stores live here;
// the stores' serial queue is a view onto this thread. Before any Qt code runs, Qt's
// message handler is replaced by one that drops every message, so that nothing of Qt,
// Akonadi or KDE's libraries reaches standard error.
//
// Thread safety: `post` and `run` may be called from any thread. Tasks run one at a time,
// in submission order; a task never starts while another is running, even when a task
// waits for a job in a nested event loop (which still dispatches Akonadi's signals). The
// thread starts on first use and runs until the process exits.
#pragma once

#include "platform/main_queue.h"

namespace pemrix::platform::akonadi {

class QtThread {
 public:
  static QtThread& instance();

  QtThread(const QtThread&) = delete;
  QtThread& operator=(const QtThread&) = delete;

  // Submits `task` and returns at once.
  void post(Task task);
  // Runs `task` on the thread and waits for it (an exception it throws is rethrown to the
  // caller); runs it at once when called there.
  void run(const Task& task);
  // True on the Qt thread itself.
  bool isCurrent() const;

  // Has the thread's event loop end when the process exits, before the exit handlers
  // registered so far run: Qt's D-Bus and Akonadi's global objects, which the loop would
  // still use while they are destroyed. Called after each first use of such an object;
  // the loop ends once, whichever handler runs first.
  void endBeforeExitHandlers();

  struct Impl;

 private:
  QtThread();
  Impl* impl_;
};

}  // namespace pemrix::platform::akonadi
