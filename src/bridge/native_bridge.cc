// NativeBridge: creation, request dispatch, store-request completion and the response
// envelope.
#include "bridge/native_bridge.h"
#include "common/exit_status.h"

#include "bridge/bounded_result.h"

namespace pemrix {

NativeBridge::NativeBridge(BridgeEnvironment environment)
    : env_(std::move(environment)),
      stores_(env_.system),
      anchor_(std::make_shared<Anchor>(Anchor{this})) {
  stores_.setOnChange(
      [queue = &env_.mainQueue, anchor = std::weak_ptr<Anchor>(anchor_)](NativeEntity entity) {
        queue->async([anchor, entity] {
          if (auto held = anchor.lock()) held->bridge->changed(entity);
        });
      });
  armIdle();
}

NativeBridge::~NativeBridge() {
  // The running request is given up first, so that the stores' work ends silently.
  if (current_) current_->lifetime->cancel();
  if (deadline_) deadline_->cancel();
  if (idle_) idle_->cancel();
}

void NativeBridge::receive(std::string_view line) {
  if (stopped_) return;
  std::optional<NativeRequest> request = NativeRequest::parse(line);
  if (!request) {
    // Refused lines neither restart nor stop the idle timer.
    failure(NativeRequest::echoId(line), BridgeFailure::invalidRequest());
    return;
  }
  if (request->command() == Command::shutdown) {  // obeyed even while a store request runs
    succeed(request->id, Json{{"stopped", true}});
    stop();
    return;
  }
  if (current_) {
    failure(request->id, BridgeFailure::busy());
    return;
  }
  const StoreRequest* storeRequest = request->storeRequest();
  if (!storeRequest) {  // "status"
    succeed(request->id, stores_.status());
    if (!stopped_) armIdle();
    return;
  }
  startStoreRequest(request->id, *storeRequest);
}

void NativeBridge::startStoreRequest(const std::string& id, const StoreRequest& request) {
  if (idle_) idle_->cancel();
  idle_.reset();
  auto lifetime = std::make_shared<RequestLifetime>(allowanceOf(request), env_.clock);
  current_ = Running{id, lifetime};
  deadline_ = env_.mainQueue.after(
      lifetime->allowance(),
      whileAlive([id, lifetime](NativeBridge& bridge) { bridge.deadlinePassed(id, lifetime); }));
  stores_.perform(request, lifetime,
                  [queue = &env_.mainQueue, anchor = std::weak_ptr<Anchor>(anchor_), id,
                   lifetime](StoreResult result) {
                    queue->async([anchor, id, lifetime, result = std::move(result)]() mutable {
                      if (auto held = anchor.lock()) {
                        held->bridge->completeStoreRequest(id, lifetime, std::move(result));
                      }
                    });
                  });
}

void NativeBridge::completeStoreRequest(const std::string& id, const Lifetime& lifetime,
                                        StoreResult result) {
  if (stopped_ || !current_ || current_->id != id) return;
  // An answer that arrives once the allowance has passed is dropped; the deadline timer,
  // still pending, reports the timeout.
  if (!lifetime->isActive()) return;
  if (deadline_) deadline_->cancel();
  deadline_.reset();
  current_.reset();
  if (auto* failed = std::get_if<BridgeFailure>(&result)) {
    failure(id, *failed);
  } else {
    succeed(id, boundedResult(std::move(std::get<Json>(result)), kResultByteBudget));
  }
  if (!stopped_) armIdle();
}

void NativeBridge::succeed(const std::string& id, Json result) {
  emit(Json{{"id", id}, {"ok", true}, {"result", std::move(result)}});
}

void NativeBridge::failure(const std::optional<std::string>& id, const BridgeFailure& failure) {
  emit(Json{{"id", id ? Json(*id) : Json(nullptr)},
            {"ok", false},
            {"error", {{"code", wireName(failure.code())}, {"message", failure.message()}}}});
}

void NativeBridge::emit(const Json& message) {
  if (stopped_) return;
  std::optional<std::string> line = encodeMessage(message);
  if (!line) {
    exitProcess(code(ExitStatus::unwritable));
    return;
  }
  // The application has gone away when its end of the pipe is closed: end quietly.
  if (!env_.write(*line)) stop();
}

void NativeBridge::exitProcess(int status) {
  stopped_ = true;
  env_.exit(status);
}

}  // namespace pemrix
