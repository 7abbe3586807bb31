// GlibThread: the one thread of the process that runs a GLib main loop on a context of its
// own (pushed as that thread's default). Every call into GLib, GIO and the EDS client
// libraries made by the stores happens here, and the signals of the objects created here
// (the source registry, client views, client properties) are dispatched here too, between
// tasks. The EDS stores do their work here, called from the stores' serial queue.
//
// Thread safety: `post` and `run` may be called from any thread. Tasks run one at a time,
// in submission order; a task never starts while another is running, even if a GLib call
// inside a task iterates the context. The thread starts on first use and runs until the
// process ends.
#pragma once

#include <glib.h>

#include "platform/main_queue.h"

namespace pemrix::platform::eds {

class GlibThread {
 public:
  static GlibThread& instance();

  GlibThread(const GlibThread&) = delete;
  GlibThread& operator=(const GlibThread&) = delete;

  // Submits `task` and returns at once.
  void post(Task task);
  // Runs `task` on the thread and waits for it (an exception it throws is rethrown to the
  // caller); runs it at once when called there.
  void run(const Task& task);
  // True on the GLib thread itself.
  bool isCurrent() const;

  GMainContext* context() const { return context_; }

  struct Impl;

 private:
  GlibThread();
  Impl* impl_;
  GMainContext* context_;
};

}  // namespace pemrix::platform::eds
