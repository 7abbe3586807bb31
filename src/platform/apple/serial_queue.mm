// The stores' serial queue on macOS: a private Dispatch queue at utility quality of service.
// The input reader's background thread is a task on Dispatch's global utility queue.
//
// Dispatch cannot take back submitted blocks, so the destructor keeps the contract ("drops
// tasks that have not started, waits for the running one") with a closing flag that every
// block tests before it runs its task, and a synchronous empty block that returns once the
// running task and the skipped ones are done.
#include "platform/serial_queue.h"

#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include <atomic>

namespace pemrix::platform {

namespace {

// Its address marks the queues of this file, so that the destructor can tell whether it
// runs on the queue it is closing.
char queueKey;

}  // namespace

struct SerialQueue::Impl {
  dispatch_queue_t queue;
  std::shared_ptr<std::atomic<bool>> closing = std::make_shared<std::atomic<bool>>(false);
};

SerialQueue::SerialQueue(const std::string& label) : impl_(std::make_unique<Impl>()) {
  dispatch_queue_attr_t attributes =
      dispatch_queue_attr_make_with_qos_class(DISPATCH_QUEUE_SERIAL, QOS_CLASS_UTILITY, 0);
  impl_->queue = dispatch_queue_create(label.c_str(), attributes);
  dispatch_queue_set_specific(impl_->queue, &queueKey, impl_.get(), nullptr);
}

SerialQueue::~SerialQueue() {
  impl_->closing->store(true);
  // Waiting from the queue itself would never end; there the running task is the caller.
  if (dispatch_get_specific(&queueKey) != impl_.get()) {
    dispatch_block_t drained = ^{
      // Runs after the running task and the skipped ones.
    };
    dispatch_sync(impl_->queue, drained);
  }
  impl_->queue = nil;  // ARC releases the queue; Dispatch frees it once it is idle
}

void SerialQueue::async(Task task) {
  std::shared_ptr<std::atomic<bool>> closing = impl_->closing;
  dispatch_async(impl_->queue, ^{
    if (closing->load()) return;
    @autoreleasepool {
      task();
    }
  });
}

void runInBackground(Task task) {
  dispatch_async(dispatch_get_global_queue(QOS_CLASS_UTILITY, 0), ^{
    @autoreleasepool {
      task();
    }
  });
}

}  // namespace pemrix::platform
