// CallRecorder: a watcher of the simulated system that keeps what the bridge asked of it,
// so that tests can prove what the bridge never asks for: every platform call in order,
// the container of every contact enumeration, and the stores and change observers created.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sim/system_watcher.h"

namespace pemrix::testing {

// What the bridge has asked of a simulated system so far.
struct SystemRecord {
  int eventStoresCreated = 0;
  int contactStoresCreated = 0;
  int observersAdded = 0;
  int observersRemoved = 0;
  // The platform calls made, by name, in order, with the creation of each store
  // ("calendarStoreCreated", "requestAccess(events)", "calendars", "enumerateEvents",
  // "enumerateIncompleteReminders", "contactStoreCreated", "containers", "enumerateContacts",
  // "requestAccess(contacts)", ...; sim/system_watcher.h names them all).
  std::vector<std::string> calls;
  // The container of each contact enumeration, in order.
  std::vector<std::string> contactFetches;
};

class CallRecorder final : public platform::SystemWatcher {
 public:
  // A copy of everything recorded so far.
  SystemRecord record() const;

  void called(std::string_view name) override;
  void fetchingContacts(const std::string& containerId) override;
  void observerAdded() override;
  void observerRemoved() override;

 private:
  mutable std::mutex mutex_;  // guards record_
  SystemRecord record_;
};

}  // namespace pemrix::testing
