// NativeBridge: the deadline timer of the running store request, the idle timer, and stop.
#include "bridge/native_bridge.h"
#include "common/exit_status.h"

namespace pemrix {

void NativeBridge::deadlinePassed(const std::string& id, const Lifetime& lifetime) {
  if (stopped_ || !current_ || current_->id != id) return;
  lifetime->cancel();
  failure(id, BridgeFailure::timeout());
  stop();
}

void NativeBridge::armIdle() {
  if (idle_) idle_->cancel();
  idle_ = env_.mainQueue.after(kIdlePeriod,
                               whileAlive([](NativeBridge& bridge) { bridge.idlePassed(); }));
}

void NativeBridge::idlePassed() {
  // A store request that is running re-arms the timer when it is answered.
  if (!current_) stop();
}

void NativeBridge::stop() {
  if (stopped_) return;
  if (current_) current_->lifetime->cancel();
  if (deadline_) deadline_->cancel();
  if (idle_) idle_->cancel();
  exitProcess(code(ExitStatus::orderly));
}

}  // namespace pemrix
