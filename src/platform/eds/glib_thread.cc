// The GLib thread: a custom GSource that runs one posted task per dispatch, so that D-Bus
// signals are dispatched between tasks, and that GLib never dispatches recursively (a
// source is blocked during its own dispatch).
#include "platform/eds/glib_thread.h"

#include <future>
#include <thread>

#include "platform/run_and_wait.h"
#include "platform/task_inbox.h"

namespace pemrix::platform::eds {

struct GlibThread::Impl {
  TaskInbox tasks;
  std::thread::id id;
};

namespace {

struct TaskSource {
  GSource source;
  GlibThread::Impl* impl;
};

gboolean prepare(GSource* source, gint* timeout) {
  *timeout = -1;
  return reinterpret_cast<TaskSource*>(source)->impl->tasks.pending();
}

gboolean check(GSource* source) {
  return reinterpret_cast<TaskSource*>(source)->impl->tasks.pending();
}

gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
  if (Task task = reinterpret_cast<TaskSource*>(source)->impl->tasks.take()) task();
  return G_SOURCE_CONTINUE;
}

GSourceFuncs kTaskSourceFuncs = {prepare, check, dispatch, nullptr, nullptr, nullptr};

}  // namespace

GlibThread& GlibThread::instance() {
  // Never destroyed: the thread runs until the process ends.
  static GlibThread* thread = new GlibThread();
  return *thread;
}

GlibThread::GlibThread() : impl_(new Impl), context_(g_main_context_new()) {
  std::promise<void> started;
  std::thread([this, &started] {
    impl_->id = std::this_thread::get_id();
    g_main_context_push_thread_default(context_);
    GSource* source = g_source_new(&kTaskSourceFuncs, sizeof(TaskSource));
    reinterpret_cast<TaskSource*>(source)->impl = impl_;
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_attach(source, context_);
    GMainLoop* loop = g_main_loop_new(context_, FALSE);
    started.set_value();
    g_main_loop_run(loop);
  }).detach();
  started.get_future().wait();
}

void GlibThread::post(Task task) {
  impl_->tasks.push(std::move(task));
  g_main_context_wakeup(context_);
}

void GlibThread::run(const Task& task) {
  runAndWait(
      isCurrent(), [this](Task posted) { post(std::move(posted)); }, task);
}

bool GlibThread::isCurrent() const {
  return std::this_thread::get_id() == impl_->id;
}

}  // namespace pemrix::platform::eds
