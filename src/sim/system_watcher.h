// SystemWatcher: hears what the simulated system is asked, as it is asked: each platform
// call by name, the container of each contact enumeration, and each change observer added
// and removed. A System reports to the watcher it was created with, if any; the simulator
// executable gives none, so it keeps nothing per call however long it serves. Tests give
// one that records (tests/support/call_recorder.h), to prove what the bridge never asks
// for.
//
// Thread safety: the members are called from whichever thread made the call, possibly
// several at once. A watcher must outlive the System and every observer token its stores
// handed out.
#pragma once

#include <string>
#include <string_view>

namespace pemrix::platform {

class SystemWatcher {
 public:
  virtual ~SystemWatcher() = default;

  // A platform call by name ("calendars", "enumerateEvents", "enumerateIncompleteReminders",
  // "containers", "enumerateContacts"), an access request with the entity it asks for
  // ("requestAccess(events)", "requestAccess(reminders)", "requestAccess(contacts)"), or the
  // creation of a store ("calendarStoreCreated", "contactStoreCreated").
  virtual void called(std::string_view name) = 0;
  // The container a contact enumeration reads, reported right after its
  // "enumerateContacts". Each enumeration reads one container's contacts as stored, with
  // the five properties of ContactRecord.
  virtual void fetchingContacts(const std::string& containerId) = 0;
  // A change observer was registered, or one was released.
  virtual void observerAdded() = 0;
  virtual void observerRemoved() = 0;

 protected:
  SystemWatcher() = default;
  SystemWatcher(const SystemWatcher&) = default;
  SystemWatcher& operator=(const SystemWatcher&) = default;
};

}  // namespace pemrix::platform
