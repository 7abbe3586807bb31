// The desktop calendar store: the calendars and reminder lists of every backend, and reads
// routed to the backends that own the sources asked for. A read that spans several
// backends takes each one's records in full and delivers them in date order (events by
// start, reminders by due date), as one store would; a read of one backend passes its
// records through as that backend delivers them.
#include <algorithm>
#include <utility>

#include "platform/desktop/desktop_stores.h"

namespace pemrix::platform::desktop {

namespace {

// A record with its source identifier given the backend's prefix.
template <typename Record>
Record outward(const SourceRouting& routing, std::size_t backend, Record record) {
  if (record.calendarIdentifier) {
    record.calendarIdentifier = routing.outward(backend, *record.calendarIdentifier);
  }
  return record;
}

// Reads the records of the sources `ids` through `read(backend, ids, visitor)` and hands
// them to `visitor`, in the order described at the top of this file.
template <typename Record, typename Read, typename Earlier>
Status readRouted(const SourceRouting& routing, const std::vector<std::string>& ids, Read read,
                  Earlier earlier, const std::function<void(const Record&, bool&)>& visitor) {
  std::map<std::size_t, std::vector<std::string>> byBackend;
  if (Status gone = routing.split(ids, &byBackend); !gone.ok()) return gone;
  if (byBackend.size() == 1) {
    const std::size_t backend = byBackend.begin()->first;
    return read(backend, byBackend.begin()->second, [&](const Record& record, bool& stop) {
      visitor(outward(routing, backend, record), stop);
    });
  }
  std::vector<Record> records;
  for (const auto& [backend, own] : byBackend) {
    Status status = read(backend, own, [&, backend = backend](const Record& record, bool&) {
      records.push_back(outward(routing, backend, record));
    });
    if (!status.ok()) return status;
  }
  std::stable_sort(records.begin(), records.end(), earlier);
  for (const Record& record : records) {
    bool stop = false;
    visitor(record, stop);
    if (stop) break;
  }
  return Status();
}

// Records without the date they are ordered by come last.
template <typename Field>
bool earlierBy(const std::optional<Field>& a, const std::optional<Field>& b) {
  if (!a || !b) return a.has_value() && !b.has_value();
  return *a < *b;
}

class DesktopCalendarStore final : public CalendarStore {
 public:
  DesktopCalendarStore(SourceRouting routing, std::vector<std::unique_ptr<CalendarStore>> stores)
      : routing_(std::move(routing)), stores_(std::move(stores)) {}

  void requestAccess(CalendarEntityType type, AccessCompletion completion) override {
    requestEach(
        stores_.size(),
        [&](std::size_t backend, AccessCompletion done) {
          stores_[backend]->requestAccess(type, std::move(done));
        },
        std::move(completion));
  }

  Status calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) override {
    std::vector<CalendarInfo> all;
    for (std::size_t backend = 0; backend < stores_.size(); ++backend) {
      std::vector<CalendarInfo> own;
      if (Status failed = stores_[backend]->calendars(type, &own); !failed.ok()) return failed;
      for (CalendarInfo& calendar : own) {
        all.push_back({routing_.outward(backend, calendar.identifier), std::move(calendar.title)});
      }
    }
    out->insert(out->end(), all.begin(), all.end());
    return Status();
  }

  Status enumerateEvents(Instant start, Instant end, const std::vector<std::string>& calendarIds,
                         const EventVisitor& visitor) override {
    return readRouted<EventRecord>(
        routing_, calendarIds,
        [&](std::size_t backend, const std::vector<std::string>& own, const EventVisitor& each) {
          return stores_[backend]->enumerateEvents(start, end, own, each);
        },
        [](const EventRecord& a, const EventRecord& b) { return earlierBy(a.start, b.start); },
        visitor);
  }

  Status enumerateIncompleteReminders(Instant start, Instant end,
                                      const std::vector<std::string>& listIds,
                                      const ReminderVisitor& visitor) override {
    return readRouted<ReminderRecord>(
        routing_, listIds,
        [&](std::size_t backend, const std::vector<std::string>& own, const ReminderVisitor& each) {
          return stores_[backend]->enumerateIncompleteReminders(start, end, own, each);
        },
        [](const ReminderRecord& a, const ReminderRecord& b) { return earlierBy(a.due, b.due); },
        visitor);
  }

  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override {
    return observeEach(stores_, onChange, token);
  }

 private:
  SourceRouting routing_;
  std::vector<std::unique_ptr<CalendarStore>> stores_;
};

}  // namespace

std::unique_ptr<CalendarStore> calendarStoreOver(
    SourceRouting routing, std::vector<std::unique_ptr<CalendarStore>> stores) {
  return std::make_unique<DesktopCalendarStore>(std::move(routing), std::move(stores));
}

}  // namespace pemrix::platform::desktop
