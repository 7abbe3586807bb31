// SimulatedSystem::Impl: the state of the simulated operating system that the simulated calendar
// and contact stores share: the world, authorisation states, the system's own threads,
// simulated delays, change observers, and what it tells its watcher.
//
// Ownership: the System owns its Impl; the Impl owns every thread it starts and joins them
// in `close`. The observer registry is shared with the observer tokens, so a token that
// outlives the System can still be released safely.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/calendar_store.h"
#include "platform/contact_store.h"
#include "platform/observer_registry.h"
#include "platform/observer_token.h"
#include "sim/simulated_system.h"

namespace pemrix::platform {

struct SimulatedSystem::Impl {
  Impl(World world, SimClock& clock, SystemWatcher* watcher);
  ~Impl();

  const World world;
  SimClock& clock;

  // Authorisation, which the user may change in the system settings; readable as
  // `allowsReading` says.
  Authorization authorization(WorldEntity entity) const;
  void setAuthorization(WorldEntity entity, Authorization status);
  bool readable(WorldEntity entity) const;

  // Sleeps `seconds` of clock time on the calling thread; false when the system closed
  // before the time was up (or was already closed).
  bool delay(double seconds) const;
  // The clock uptime `seconds` from now, and sleeping until such a moment; a delay that
  // runs on a new thread takes its moment on the caller's thread, so that a test's clock
  // advance cannot slip in before the thread starts.
  double momentAfter(double seconds) const;
  bool sleepUntil(double moment) const;
  // Runs `task` on a new thread that the system owns; does nothing once closing.
  void spawn(std::function<void()> task);
  // Keeps something (an uncalled completion) alive until `close`, which drops it.
  void keepUntilClose(std::shared_ptr<void> held);

  // Unavailable when the world's "throwsIn" fault names `operation`: a service call that
  // fails, as one that raises an exception on macOS does; ok otherwise.
  Status faultIn(const char* operation) const;

  // Simulates asking for access to `entity` (delay, new status, completion), and tells the
  // watcher which entity access was asked for.
  void requestAccess(WorldEntity entity, AccessCompletion completion);
  // Delivers `status` to `completion` from a new system thread, as a service reports a
  // request it could not make.
  void completeLater(AccessCompletion completion, Status status);
  // Applies "revokeDuring": the first listing of an entity's sources denies it.
  void sourcesListed(WorldEntity entity);

  ObserverToken observe(WorldChange::Store store, std::function<void()> callback);
  // Delivers one change notification from a new system thread.
  void postChange(WorldChange::Store store);

  // Tells the watcher, if there is one, of a platform call, a contact enumeration's
  // container, or a store created.
  void logCall(std::string_view name) const;
  void logContactFetch(const std::string& containerId) const;
  void noteStoreCreated(bool contactStore) const;

  void close();

 private:
  void scheduleWorldChanges();

  std::array<std::atomic<Authorization>, 3> authorization_;
  std::array<std::atomic<bool>, 3> listedOnce_{};
  const double startUptime_;

  std::atomic<bool> closing_{false};
  std::mutex threadsMutex_;  // guards threads_, nextThread_ and held_
  // The threads the system started whose task is still running, by a number of their own.
  std::map<uint64_t, std::thread> threads_;
  uint64_t nextThread_ = 0;
  std::vector<std::shared_ptr<void>> held_;

  // The change observers of each store kind, by WorldChange::Store; shared with the
  // threads that deliver notifications.
  std::shared_ptr<ObserverRegistry> observersOf(WorldChange::Store store) const {
    return observers_[static_cast<size_t>(store)];
  }
  const std::array<std::shared_ptr<ObserverRegistry>, 2> observers_{
      std::make_shared<ObserverRegistry>(), std::make_shared<ObserverRegistry>()};
  SystemWatcher* const watcher_;
};

// The world's index of an entity, and the entity that a calendar entity type stands for.
inline std::size_t indexOf(WorldEntity entity) {
  return static_cast<std::size_t>(entity);
}
inline WorldEntity entityOf(CalendarEntityType type) {
  return type == CalendarEntityType::events ? WorldEntity::events : WorldEntity::reminders;
}

}  // namespace pemrix::platform
