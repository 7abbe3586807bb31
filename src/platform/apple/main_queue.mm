// The main queue on macOS: Dispatch's main queue, served by the main thread's run loop.
//
// The main thread runs its run loop (CFRunLoopRunInMode) rather than dispatch_main(): the
// run loop serves the main dispatch queue too, and EventKit delivers its change notification
// through it, so a main thread parked in dispatch_main() would never see calendar changes. Delayed
// tasks use dispatch_after on Dispatch's monotonic clock (DISPATCH_TIME_NOW), which is the
// clock the bridge's timers are defined on; the Clock passed in is therefore not consulted.
#include "platform/main_queue.h"

#include "platform/delayed_task_state.h"

#import <CoreFoundation/CoreFoundation.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include "platform/apple/apple_conversions.h"

namespace pemrix::platform {

namespace {

// Runs one task with its own autorelease pool, so that Foundation objects it creates are
// released when it returns.
void runTask(const Task& task) {
  @autoreleasepool {
    task();
  }
}

// The longest the main thread waits in one run of its run loop before its pool is drained.
constexpr CFTimeInterval kRunLoopSliceSeconds = 60;

void performNothing(void* /*info*/) {}

// Adds a source that is never signalled to the current run loop's default mode, so that
// CFRunLoopRun always has something to wait on and never returns for lack of sources.
void keepRunLoopAlive() {
  CFRunLoopSourceContext context = {};
  context.perform = performNothing;
  CFRunLoopSourceRef source = CFRunLoopSourceCreate(nullptr, 0, &context);
  CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
  // The source stays in the run loop for the life of the process and is never released.
}

}  // namespace

struct MainQueue::Impl {};

MainQueue::MainQueue(Clock& /*clock*/) : impl_(std::make_unique<Impl>()) {}

MainQueue::~MainQueue() = default;

void MainQueue::async(Task task) {
  dispatch_async(dispatch_get_main_queue(), ^{
    runTask(task);
  });
}

void MainQueue::sync(Task task) {
  dispatch_sync(dispatch_get_main_queue(), ^{
    runTask(task);
  });
}

DelayedTask MainQueue::after(double seconds, Task task) {
  auto state = std::make_shared<DelayedTask::State>();
  state->task = std::move(task);
  dispatch_time_t when = dispatch_time(DISPATCH_TIME_NOW, dispatchDelayNanoseconds(seconds));
  dispatch_after(when, dispatch_get_main_queue(), ^{
    if (state->cancelled || !state->task) return;
    Task due = std::move(state->task);
    state->task = nullptr;
    runTask(due);
  });
  return DelayedTask(state);
}

void MainQueue::run() {
  keepRunLoopAlive();
  // Tasks from Dispatch bring their own pool (runTask), but work the run loop performs
  // outside Dispatch, such as delivering EventKit's change notification, would leave what
  // it autoreleases in a pool that is never drained. So the loop runs one handled source at
  // a time (or at most kRunLoopSliceSeconds while idle) inside a pool of its own. A run that
  // ends because the loop was stopped or had nothing to wait on simply runs again.
  for (;;) {
    @autoreleasepool {
      CFRunLoopRunInMode(kCFRunLoopDefaultMode, kRunLoopSliceSeconds, true);
    }
  }
}

}  // namespace pemrix::platform
