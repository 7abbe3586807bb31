// The simulated operating system: authorisation, access requests, threads, delays,
// change notifications, and telling the watcher what was asked.
#include "sim/simulated_system.h"

#include <algorithm>
#include <stdexcept>

#include "sim/simulated_system_impl.h"

namespace pemrix::platform {

SimulatedSystem::SimulatedSystem(World world, SimClock& clock, SystemWatcher* watcher)
    : impl_(std::make_unique<Impl>(std::move(world), clock, watcher)) {}

SimulatedSystem::~SimulatedSystem() {
  close();
}

void SimulatedSystem::close() {
  impl_->close();
}

Authorization SimulatedSystem::authorization(WorldEntity entity) const {
  return impl_->authorization(entity);
}

namespace {

// What the watcher hears for an access request: the entity access was asked for.
std::string_view accessRequestName(WorldEntity entity) {
  switch (entity) {
    case WorldEntity::events:
      return "requestAccess(events)";
    case WorldEntity::reminders:
      return "requestAccess(reminders)";
    case WorldEntity::contacts:
      return "requestAccess(contacts)";
  }
  return "requestAccess";
}

}  // namespace

SimulatedSystem::Impl::Impl(World worldIn, SimClock& clockIn, SystemWatcher* watcher)
    : world(std::move(worldIn)), clock(clockIn), startUptime_(clockIn.uptime()), watcher_(watcher) {
  for (std::size_t i = 0; i < authorization_.size(); ++i) {
    authorization_[i] = world.authorization[i];
  }
  scheduleWorldChanges();
}

SimulatedSystem::Impl::~Impl() {
  close();
}

Authorization SimulatedSystem::Impl::authorization(WorldEntity entity) const {
  return authorization_[indexOf(entity)].load();
}

void SimulatedSystem::Impl::setAuthorization(WorldEntity entity, Authorization status) {
  authorization_[indexOf(entity)] = status;
}

bool SimulatedSystem::Impl::readable(WorldEntity entity) const {
  return allowsReading(authorization(entity));
}

bool SimulatedSystem::Impl::delay(double seconds) const {
  if (seconds <= 0) return !closing_.load();
  return sleepUntil(momentAfter(seconds));
}

double SimulatedSystem::Impl::momentAfter(double seconds) const {
  return clock.uptime() + seconds;
}

bool SimulatedSystem::Impl::sleepUntil(double moment) const {
  return clock.sleepUntil(moment, closing_);
}

void SimulatedSystem::Impl::spawn(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(threadsMutex_);
  if (closing_.load()) return;
  const uint64_t number = nextThread_++;
  threads_.emplace(
      number, std::thread([this, number, task = std::move(task)]() mutable {
        task();
        task = nullptr;  // what the task held (completions, stores) goes while the system lives
        // A thread whose task has returned lets go of itself, unless `close` already took it to
        // join. So no ended thread waits to be joined: a long-running simulator keeps none (its
        // stack and descriptor) per reminder fetch, access request or change notification, and
        // a process that ends at any moment leaves none behind unjoined.
        std::lock_guard<std::mutex> done(threadsMutex_);
        auto self = threads_.find(number);
        if (self == threads_.end()) return;
        self->second.detach();
        threads_.erase(self);
      }));
}

Status SimulatedSystem::Impl::faultIn(const char* operation) const {
  const std::vector<std::string>& faulty = world.faults.throwsIn;
  if (std::find(faulty.begin(), faulty.end(), operation) == faulty.end()) return Status();
  return Status::unavailable(std::string("simulated service failure in ") + operation);
}

void SimulatedSystem::Impl::keepUntilClose(std::shared_ptr<void> held) {
  std::lock_guard<std::mutex> lock(threadsMutex_);
  if (closing_.load()) return;  // dropped on return, as close would have done
  held_.push_back(std::move(held));
}

void SimulatedSystem::Impl::completeLater(AccessCompletion completion, Status status) {
  spawn([completion = std::move(completion), status = std::move(status)] { completion(status); });
}

void SimulatedSystem::Impl::requestAccess(WorldEntity entity, AccessCompletion completion) {
  logCall(accessRequestName(entity));
  if (Status failed = faultIn("access"); !failed.ok()) {
    completeLater(std::move(completion), std::move(failed));
    return;
  }
  const AccessBehaviour& behaviour = world.accessRequests[indexOf(entity)];
  double moment = momentAfter(behaviour.delaySeconds);
  spawn([this, entity, &behaviour, moment, completion = std::move(completion)]() mutable {
    if (!sleepUntil(moment)) return;
    if (behaviour.status) setAuthorization(entity, *behaviour.status);
    if (!behaviour.completes) {
      keepUntilClose(std::make_shared<AccessCompletion>(std::move(completion)));
      return;
    }
    Status status;
    if (behaviour.error) status = Status::unavailable("The simulated access request failed.");
    completion(std::move(status));
  });
}

void SimulatedSystem::Impl::sourcesListed(WorldEntity entity) {
  const auto& revoked = world.faults.revokeDuring;
  if (std::find(revoked.begin(), revoked.end(), entity) == revoked.end()) return;
  if (listedOnce_[indexOf(entity)].exchange(true)) return;
  setAuthorization(entity, Authorization::denied);
}

ObserverToken SimulatedSystem::Impl::observe(WorldChange::Store store,
                                             std::function<void()> callback) {
  ObserverToken token = observersOf(store)->add(std::move(callback));
  if (!watcher_) return token;
  watcher_->observerAdded();
  return ObserverToken(
      std::shared_ptr<void>(nullptr, [token = std::move(token), watcher = watcher_](void*) mutable {
        token = ObserverToken();
        watcher->observerRemoved();
      }));
}

void SimulatedSystem::Impl::postChange(WorldChange::Store store) {
  spawn([registry = observersOf(store)] { registry->notify(); });
}

void SimulatedSystem::Impl::scheduleWorldChanges() {
  for (const WorldChange& change : world.faults.changes) {
    double when = startUptime_ + change.afterSeconds;
    spawn([this, when, store = change.store] {
      if (sleepUntil(when)) observersOf(store)->notify();
    });
  }
}

void SimulatedSystem::Impl::logCall(std::string_view name) const {
  if (watcher_) watcher_->called(name);
}

void SimulatedSystem::Impl::logContactFetch(const std::string& containerId) const {
  if (watcher_) watcher_->fetchingContacts(containerId);
}

void SimulatedSystem::Impl::noteStoreCreated(bool contactStore) const {
  logCall(contactStore ? "contactStoreCreated" : "calendarStoreCreated");
}

void SimulatedSystem::Impl::close() {
  {
    std::lock_guard<std::mutex> lock(threadsMutex_);
    closing_ = true;
  }
  clock.interrupt();
  for (;;) {
    std::map<uint64_t, std::thread> threads;
    std::vector<std::shared_ptr<void>> held;
    {
      std::lock_guard<std::mutex> lock(threadsMutex_);
      threads.swap(threads_);
      held.swap(held_);
    }
    if (threads.empty() && held.empty()) return;
    for (auto& [number, thread] : threads) {
      // A system thread that closes the system cannot wait for itself.
      if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
      } else {
        thread.join();
      }
    }
  }
}

}  // namespace pemrix::platform
