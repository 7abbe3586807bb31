// Every call the conformance suite makes into the platform interface, as a few plain
// functions: the cases read sources, events, reminders and contacts, authorisation and
// change notifications only through these, so that a change of the interface's shape
// touches this file alone. Each read runs on the stores' serial queue (the backend's
// `onStoreQueue`) and answers its records, or a failure.
//
// Identifiers cross here, for a store that assigns its own (backend.h, `storeId` and
// `worldId`): the cases name sources by the world's identifiers and see the world's
// identifiers of sources, items and contacts. Sources and contacts that the backend's
// writer did not make (what the store held besides the world) are left out; an item of
// the world's calendars that it did not make keeps the store's identifier, so that a case
// sees it.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/instant.h"
#include "conformance/backend.h"

namespace pemrix::conformance {

// What a read answered: its records, or (without them) how it failed.
template <typename T>
struct Read {
  std::optional<T> records;
  platform::Status status;
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

// The store's identifiers of the world's sources `ids`.
inline std::vector<std::string> storeIds(const ConformanceBackend& backend,
                                         const std::vector<std::string>& ids) {
  std::vector<std::string> out;
  for (const std::string& id : ids) out.push_back(backend.storeId(id));
  return out;
}

// The world's identifier of the store's `id`, or `id` itself when the writer did not make it.
inline std::string seenId(const ConformanceBackend& backend, const std::optional<std::string>& id) {
  if (!id) return "";
  return backend.worldId(*id).value_or(*id);
}

inline platform::Authorization authorizationOf(ConformanceBackend& backend, Kind kind) {
  if (kind == Kind::contacts) return backend.system().contactAuthorization();
  return backend.system().calendarAuthorization(entityType(kind));
}

inline Read<std::vector<Source>> sourcesOf(ConformanceBackend& backend, Kind kind) {
  Read<std::vector<Source>> read;
  backend.onStoreQueue([&] {
    std::vector<Source> sources;
    if (kind == Kind::contacts) {
      std::vector<platform::ContainerInfo> containers;
      if (!backend.contactStore().containers(&containers).ok()) return;
      for (const auto& container : containers) {
        if (auto id = backend.worldId(container.identifier))
          sources.push_back({kind, *id, container.name});
      }
    } else {
      std::vector<platform::CalendarInfo> calendars;
      if (!backend.calendarStore().calendars(entityType(kind), &calendars).ok()) return;
      for (const auto& calendar : calendars) {
        if (auto id = backend.worldId(calendar.identifier))
          sources.push_back({kind, *id, calendar.title});
      }
    }
    read.records = std::move(sources);
  });
  return read;
}

// The events of calendars `ids` that overlap [start, end), in the store's order.
inline Read<std::vector<EventSeen>> eventsIn(ConformanceBackend& backend,
                                             const std::vector<std::string>& ids, Instant start,
                                             Instant end) {
  Read<std::vector<EventSeen>> read;
  backend.onStoreQueue([&] {
    std::vector<EventSeen> events;
    platform::Status status = backend.calendarStore().enumerateEvents(
        start, end, storeIds(backend, ids), [&](const platform::EventRecord& event, bool&) {
          events.push_back({seenId(backend, event.calendarIdentifier),
                            seenId(backend, event.itemIdentifier), event.title.value_or(""),
                            event.start.value_or(Instant{}), event.end.value_or(Instant{}),
                            event.allDay});
        });
    read.status = status;
    if (status.ok()) read.records = std::move(events);
  });
  return read;
}

// The incomplete reminders of lists `ids` due in [start, end), in the store's order.
inline Read<std::vector<ReminderSeen>> remindersIn(ConformanceBackend& backend,
                                                   const std::vector<std::string>& ids,
                                                   Instant start, Instant end) {
  Read<std::vector<ReminderSeen>> read;
  backend.onStoreQueue([&] {
    std::vector<ReminderSeen> reminders;
    platform::Status status = backend.calendarStore().enumerateIncompleteReminders(
        start, end, storeIds(backend, ids), [&](const platform::ReminderRecord& reminder, bool&) {
          reminders.push_back({seenId(backend, reminder.calendarIdentifier),
                               seenId(backend, reminder.itemIdentifier), reminder.due,
                               reminder.completed});
        });
    read.status = status;
    if (status.ok()) read.records = std::move(reminders);
  });
  return read;
}

// The contacts of container `id` with the five names, in the store's order; the walk stops
// after `stopAfter` contacts when given.
inline Read<std::vector<Contact>> contactsOf(ConformanceBackend& backend, const std::string& id,
                                             std::optional<std::size_t> stopAfter = {}) {
  Read<std::vector<Contact>> read;
  backend.onStoreQueue([&] {
    std::vector<Contact> contacts;
    platform::Status status = backend.contactStore().enumerateContacts(
        backend.storeId(id), [&](const platform::ContactRecord& contact, bool& stop) {
          std::optional<std::string> written = backend.worldId(contact.identifier);
          if (!written) return;
          contacts.push_back({id, *written, contact.givenName, contact.familyName,
                              contact.organizationName, contact.jobTitle});
          stop = stopAfter && contacts.size() >= *stopAfter;
        });
    read.status = status;
    if (status.ok()) read.records = std::move(contacts);
  });
  return read;
}

// Calls `onChange` when the store of `kind` reports a change, until the result is reset.
inline std::shared_ptr<void> observe(ConformanceBackend& backend, Kind kind,
                                     std::function<void()> onChange) {
  auto token = std::make_shared<platform::ObserverToken>();
  bool observing = false;
  backend.onStoreQueue([&] {
    observing = (kind == Kind::contacts
                     ? backend.contactStore().observeChanges(std::move(onChange), token.get())
                     : backend.calendarStore().observeChanges(std::move(onChange), token.get()))
                    .ok();
  });
  if (!observing) return nullptr;
  return token;
}

}  // namespace pemrix::conformance
