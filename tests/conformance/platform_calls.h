// Every call the conformance suite makes into the platform interface, as a few plain
// functions: the cases read sources, events, reminders and contacts, authorisation and
// change notifications only through these, so that a change of the interface's shape
// touches this file alone. Each read runs on the stores' serial queue (the backend's
// `onStoreQueue`) and answers its records, or a failure.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/instant.h"
#include "conformance/backend.h"

namespace pemrix::conformance {

// What a read answered: its records, or (without them) that it failed.
template <typename T>
struct Read {
  std::optional<T> records;
  bool failed() const { return !records.has_value(); }
};

struct EventSeen {
  std::string calendar, id, title;
  Instant start, end;
  bool allDay = false;
};

struct ReminderSeen {
  std::string list, id;
  std::optional<Instant> due;
  bool completed = false;
};

inline platform::CalendarEntityType entityType(Kind kind) {
  return kind == Kind::events ? platform::CalendarEntityType::events
                              : platform::CalendarEntityType::reminders;
}

inline platform::Authorization authorizationOf(ConformanceBackend& backend, Kind kind) {
  if (kind == Kind::contacts) return platform::ContactStore::authorization(backend.system());
  return platform::CalendarStore::authorization(backend.system(), entityType(kind));
}

inline Read<std::vector<Source>> sourcesOf(ConformanceBackend& backend, Kind kind) {
  Read<std::vector<Source>> read;
  backend.onStoreQueue([&] {
    std::vector<Source> sources;
    if (kind == Kind::contacts) {
      std::vector<platform::ContainerInfo> containers;
      if (backend.contactStore().containers(&containers)) return;
      for (const auto& container : containers)
        sources.push_back({kind, container.identifier, container.name});
    } else {
      std::vector<platform::CalendarInfo> calendars;
      if (backend.calendarStore().calendars(entityType(kind), &calendars)) return;
      for (const auto& calendar : calendars)
        sources.push_back({kind, calendar.identifier, calendar.title});
    }
    read.records = std::move(sources);
  });
  return read;
}

// The store's calendars of `kind` with the identifiers `ids`, in the store's order; one
// the store no longer lists is passed by its identifier alone, as a caller that listed
// it earlier would.
inline std::vector<platform::CalendarInfo> calendarsNamed(ConformanceBackend& backend, Kind kind,
                                                          const std::vector<std::string>& ids) {
  std::vector<platform::CalendarInfo> listed, chosen;
  backend.calendarStore().calendars(entityType(kind), &listed);
  for (const std::string& id : ids) {
    auto found =
        std::find_if(listed.begin(), listed.end(),
                     [&](const platform::CalendarInfo& info) { return info.identifier == id; });
    chosen.push_back(found != listed.end() ? *found : platform::CalendarInfo{id, "", nullptr});
  }
  return chosen;
}

// The events of calendars `ids` that overlap [start, end), in the store's order.
inline Read<std::vector<EventSeen>> eventsIn(ConformanceBackend& backend,
                                             const std::vector<std::string>& ids, Instant start,
                                             Instant end) {
  Read<std::vector<EventSeen>> read;
  backend.onStoreQueue([&] {
    std::vector<EventSeen> events;
    platform::PlatformStatus status = backend.calendarStore().enumerateEvents(
        start, end, calendarsNamed(backend, Kind::events, ids),
        [&](const platform::EventRecord& event, bool&) {
          events.push_back({event.calendarIdentifier.value_or(""), event.itemIdentifier,
                            event.title.value_or(""), event.start.value_or(Instant{}),
                            event.end.value_or(Instant{}), event.allDay});
        });
    if (!status) read.records = std::move(events);
  });
  return read;
}

// The incomplete reminders of lists `ids` that the store finds due near [start, end): every
// one due inside it, and perhaps others due within kServiceWindowMargin of its edges.
inline Read<std::vector<ReminderSeen>> remindersIn(ConformanceBackend& backend,
                                                   const std::vector<std::string>& ids,
                                                   Instant start, Instant end) {
  auto answer = std::make_shared<std::promise<Read<std::vector<ReminderSeen>>>>();
  backend.onStoreQueue([&] {
    backend.calendarStore().fetchIncompleteReminders(
        start, end, calendarsNamed(backend, Kind::reminders, ids),
        [answer](platform::PlatformStatus fetched, const platform::ReminderWalk& walk) {
          Read<std::vector<ReminderSeen>> read;
          std::vector<ReminderSeen> reminders;
          if (!fetched && !walk([&](const platform::ReminderRecord& reminder, bool&) {
                reminders.push_back({reminder.calendarIdentifier.value_or(""),
                                     reminder.itemIdentifier, reminder.due, reminder.completed});
              })) {
            read.records = std::move(reminders);
          }
          answer->set_value(std::move(read));
        });
  });
  auto future = answer->get_future();
  if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) return {};
  return future.get();
}

// The contacts of container `id` with the five names, in the store's order; the walk stops
// after `stopAfter` contacts when given.
inline Read<std::vector<Contact>> contactsOf(ConformanceBackend& backend, const std::string& id,
                                             std::optional<std::size_t> stopAfter = {}) {
  using platform::ContactKey;
  Read<std::vector<Contact>> read;
  backend.onStoreQueue([&] {
    std::vector<Contact> contacts;
    platform::ContactFetchRequest request{
        {ContactKey::identifier, ContactKey::givenName, ContactKey::familyName,
         ContactKey::organizationName, ContactKey::jobTitle},
        id};
    platform::PlatformStatus status = backend.contactStore().enumerateContacts(
        request, [&](const platform::ContactRecord& contact, bool& stop) {
          contacts.push_back({id, contact.identifier, contact.givenName, contact.familyName,
                              contact.organizationName, contact.jobTitle});
          stop = stopAfter && contacts.size() >= *stopAfter;
        });
    if (!status) read.records = std::move(contacts);
  });
  return read;
}

// Calls `onChange` when the store of `kind` reports a change, until the result is reset.
inline std::shared_ptr<void> observe(ConformanceBackend& backend, Kind kind,
                                     std::function<void()> onChange) {
  std::shared_ptr<platform::ObserverToken> token;
  backend.onStoreQueue([&] {
    token = std::make_shared<platform::ObserverToken>(
        kind == Kind::contacts ? backend.contactStore().observeChanges(std::move(onChange))
                               : backend.calendarStore().observeChanges(std::move(onChange)));
  });
  return token;
}

}  // namespace pemrix::conformance
