// The Qt thread: a QCoreApplication made and run on a thread of its own. Posted tasks are
// kept in a list of their own; each queued wake-up runs at most one, and one that arrives
// while a task waits in a nested event loop leaves the list to the wake-up that task's end
// posts.
#include "platform/akonadi/qt_thread.h"

#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>

#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>

#include "platform/run_and_wait.h"
#include "platform/task_inbox.h"

namespace pemrix::platform::akonadi {

namespace {

// Drops every message of Qt and of the libraries that log through it.
void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

struct QtThread::Impl {
  TaskInbox tasks;
  std::thread::id id;
  QCoreApplication* app = nullptr;
  std::promise<void> ended;  // set when the event loop has returned
  std::once_flag ending;
  bool busy = false;  // Qt thread only: a task is running

  void wake() {
    QMetaObject::invokeMethod(
        app, [this] { runOne(); }, Qt::QueuedConnection);
  }

  void runOne() {
    // A wake-up inside a task's nested loop is answered once that task has returned.
    if (busy) return;
    Task task = tasks.take();
    if (!task) return;
    busy = true;
    struct Idle {
      Impl& impl;
      ~Idle() {
        impl.busy = false;
        if (impl.tasks.pending()) impl.wake();
      }
    } idle{*this};
    task();
  }
};

QtThread& QtThread::instance() {
  // Never destroyed: the thread runs until the process ends.
  static QtThread* thread = new QtThread();
  return *thread;
}

QtThread::QtThread() : impl_(new Impl) {
  std::promise<void> started;
  std::thread([this, &started] {
    qInstallMessageHandler(dropMessage);
    static int argc = 1;
    static char name[] = "pemrix-bridge";
    static char* argv[] = {name, nullptr};
    // Jobs hold quit locks: without this, the loop would end with the first job.
    QCoreApplication::setQuitLockEnabled(false);
    auto* app = new QCoreApplication(argc, argv);
    impl_->id = std::this_thread::get_id();
    impl_->app = app;
    started.set_value();
    app->exec();
    impl_->ended.set_value();
    // The process is exiting: the thread stays out of everything Qt until it has.
    for (;;) pause();
  }).detach();
  started.get_future().wait();
}

void QtThread::post(Task task) {
  impl_->tasks.push(std::move(task));
  impl_->wake();
}

void QtThread::run(const Task& task) {
  runAndWait(
      isCurrent(), [this](Task posted) { post(std::move(posted)); }, task);
}

void QtThread::endBeforeExitHandlers() {
  std::atexit([] {
    Impl& impl = *instance().impl_;
    if (instance().isCurrent()) return;
    std::call_once(impl.ending, [&impl] {
      // Quitting ends nested loops too: a task waiting for a job fails as unavailable.
      QMetaObject::invokeMethod(
          impl.app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
      impl.ended.get_future().wait_for(std::chrono::seconds(2));
    });
  });
}

bool QtThread::isCurrent() const {
  return std::this_thread::get_id() == impl_->id;
}

}  // namespace pemrix::platform::akonadi
