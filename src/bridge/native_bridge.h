// NativeBridge: the controller of the bridge process. It turns input lines into answers,
// runs at most one store request at a time under a deadline, ends the process when it has
// been idle for 30 seconds, and writes coalesced "changed" messages when a store changes.
// Every output line goes through `emit`.
//
// Thread safety: every member runs on the main queue. Store completions and change reports
// arrive on other threads and only submit tasks to the main queue; those tasks do nothing
// once the bridge is gone.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "common/limits.h"
#include "platform/clock.h"
#include "platform/main_queue.h"
#include "platform/system.h"
#include "protocol/bridge_failure.h"
#include "protocol/native_entity.h"
#include "protocol/native_request.h"
#include "protocol/wire_json.h"
#include "stores/personal_stores.h"
#include "stores/request_lifetime.h"

namespace pemrix {

// Seconds without a running store request after which the process ends.
using limits::kIdlePeriod;
// Seconds over which store change notifications for one entity are gathered into one message.
using limits::kChangeWindow;

// What the bridge needs from the process around it. The references must outlive it.
struct BridgeEnvironment {
  platform::MainQueue& mainQueue;
  platform::Clock& clock;
  platform::System& system;
  // Writes all bytes to standard output; false when the write failed.
  std::function<bool(std::string_view bytes)> write;
  // Ends the process with a status. In the product it never returns; a test's version
  // records the status, and the bridge writes nothing further once it has been called.
  std::function<void(int status)> exit;
};

class NativeBridge {
 public:
  // Creates the stores, routes their change reports here and arms the idle timer.
  explicit NativeBridge(BridgeEnvironment environment);
  ~NativeBridge();
  NativeBridge(const NativeBridge&) = delete;
  NativeBridge& operator=(const NativeBridge&) = delete;

  // Handles one input line (without its newline).
  void receive(std::string_view line);
  // Writes a failure envelope with the request id, or "id" null when there is none.
  void failure(const std::optional<std::string>& id, const BridgeFailure& failure);
  // Writes one message as one output line. A message that cannot be written within the
  // output limit ends the process with status 65; a failed write ends it with status 0.
  void emit(const Json& message);
  // Ends the process in an orderly way (status 0): gives up the running request and both
  // timers. Nothing is handled or written afterwards.
  void stop();
  // A store reported a change of `entity`: schedules its "changed" message unless one is
  // already pending.
  void changed(NativeEntity entity);

 private:
  struct Running {
    std::string id;
    Lifetime lifetime;
  };
  // Refers to the bridge from tasks that may outlive it.
  struct Anchor {
    NativeBridge* bridge;
  };

  // Restarts the idle timer.
  void armIdle();
  void startStoreRequest(const std::string& id, const StoreRequest& request);
  void completeStoreRequest(const std::string& id, const Lifetime& lifetime, StoreResult result);
  void deadlinePassed(const std::string& id, const Lifetime& lifetime);
  void idlePassed();
  void writeChange(NativeEntity entity);
  void succeed(const std::string& id, Json result);
  void exitProcess(int status);

  // Runs `member` on the bridge if it still exists, as a task on the main queue.
  template <typename Member>
  platform::Task whileAlive(Member member) {
    return [anchor = std::weak_ptr<Anchor>(anchor_), member] {
      if (auto held = anchor.lock()) member(*held->bridge);
    };
  }

  BridgeEnvironment env_;
  PersonalStores stores_;
  std::optional<Running> current_;
  std::optional<platform::DelayedTask> deadline_;
  std::optional<platform::DelayedTask> idle_;
  std::set<NativeEntity> changes_;
  bool stopped_ = false;
  std::shared_ptr<Anchor> anchor_;
};

}  // namespace pemrix
