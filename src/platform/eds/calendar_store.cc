// The calendar store over EDS: calendars and task lists from the source registry, events
// expanded occurrence by occurrence from the components of each calendar, and incomplete
// tasks with their due dates. Called on the stores' serial queue, it does its EDS work on the
// GLib thread (eds/glib_thread.h), where every EDS object lives; the visitors are called
// back on the caller's thread.
#include "platform/calendar_store.h"

#include <algorithm>
#include <map>
#include <set>

#include <libecal/libecal.h>

#include "platform/eds/client_set.h"
#include "platform/eds/events_and_tasks.h"
#include "platform/eds/glib_thread.h"
#include "platform/eds/ical_time.h"
#include "platform/eds/store_wiring.h"
#include "platform/eds/system_impl.h"

namespace pemrix::platform {

namespace {

const char* extensionFor(CalendarEntityType type) {
  return type == CalendarEntityType::events ? E_SOURCE_EXTENSION_CALENDAR
                                            : E_SOURCE_EXTENSION_TASK_LIST;
}

ECalClientSourceType clientTypeFor(CalendarEntityType type) {
  return type == CalendarEntityType::events ? E_CAL_CLIENT_SOURCE_TYPE_EVENTS
                                            : E_CAL_CLIENT_SOURCE_TYPE_TASKS;
}

GObject* openView(EClient* client, GError** error) {
  ECalClientView* view = nullptr;
  if (!e_cal_client_get_view_sync(E_CAL_CLIENT(client), "#t", &view, nullptr, error)) {
    return nullptr;
  }
  e_cal_client_view_set_flags(view, E_CAL_CLIENT_VIEW_FLAGS_NONE, nullptr);
  e_cal_client_view_start(view, error);
  if (error != nullptr && *error != nullptr) {
    g_object_unref(view);
    return nullptr;
  }
  return G_OBJECT(view);
}

std::unique_ptr<eds::ClientSet> clientsFor(CalendarEntityType type,
                                           std::shared_ptr<ObserverRegistry> changes) {
  auto connect = [type](ESource* source, GError** error) {
    // Local sources never report "connected": waiting for it would cost the whole wait.
    return e_cal_client_connect_sync(source, clientTypeFor(type), static_cast<guint32>(-1), nullptr,
                                     error);
  };
  return std::make_unique<eds::ClientSet>(connect, openView, std::move(changes));
}

}  // namespace

class EdsCalendarStore final : public CalendarStore {
 public:
  explicit EdsCalendarStore(EdsSystem& system);
  ~EdsCalendarStore() override;

  void requestAccess(CalendarEntityType type, AccessCompletion completion) override;
  Status calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) override;
  Status enumerateEvents(Instant start, Instant end, const std::vector<std::string>& calendarIds,
                         const EventVisitor& visitor) override;
  Status enumerateIncompleteReminders(Instant start, Instant end,
                                      const std::vector<std::string>& listIds,
                                      const ReminderVisitor& visitor) override;
  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

struct EdsCalendarStore::Impl {
  explicit Impl(EdsSystem& s)
      : wiring(s, eds::EdsService::calendar),
        events(clientsFor(CalendarEntityType::events, wiring.changes())),
        tasks(clientsFor(CalendarEntityType::reminders, wiring.changes())) {}

  // The enabled sources of `type`, in the registry's order (by display name).
  std::vector<ESource*> sources(CalendarEntityType type) {
    std::vector<ESource*> found;
    GList* list = e_source_registry_list_enabled(wiring.system().registry(), extensionFor(type));
    for (GList* item = list; item != nullptr; item = item->next) {
      found.push_back(E_SOURCE(item->data));
    }
    g_list_free(list);
    return found;  // each holds a reference: release with unrefAll
  }

  // Puts the calendars of `type` in `out`.
  void list(CalendarEntityType type, std::vector<CalendarInfo>* out);

  static void unrefAll(std::vector<ESource*>& sources) {
    for (ESource* source : sources) g_object_unref(source);
    sources.clear();
  }

  // Calls `read` with the client of each of the sources `uids`, in that order. Throws the
  // failed Status when a source is gone or cannot be reached, or a read fails; a client
  // whose read failed is connected again at its next use.
  template <typename Read>
  void readEach(CalendarEntityType type, const std::vector<std::string>& uids, Read read) {
    eds::ClientSet& set = type == CalendarEntityType::events ? *events : *tasks;
    for (const std::string& uid : uids) {
      ECalClient* client = E_CAL_CLIENT(wiring.client(set, uid));
      try {
        read(client, uid);
      } catch (...) {
        wiring.failed(set, uid);
        throw;
      }
    }
  }

  eds::StoreWiring wiring;
  std::unique_ptr<eds::ClientSet> events;
  std::unique_ptr<eds::ClientSet> tasks;
};

EdsCalendarStore::~EdsCalendarStore() {
  eds::GlibThread::instance().run([this] { impl_.reset(); });
}

void EdsCalendarStore::requestAccess(CalendarEntityType /*type*/, AccessCompletion completion) {
  eds::StoreWiring::endAccessRequest(std::move(completion));
}

Status EdsCalendarStore::calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) {
  return statusOf([&] { eds::GlibThread::instance().run([&] { impl_->list(type, out); }); });
}

void EdsCalendarStore::Impl::list(CalendarEntityType type, std::vector<CalendarInfo>* out) {
  std::vector<ESource*> found = sources(type);
  for (ESource* source : found) {
    const gchar* name = e_source_get_display_name(source);
    out->push_back({e_source_get_uid(source), name != nullptr ? name : ""});
  }
  unrefAll(found);
}

Status EdsCalendarStore::enumerateEvents(Instant start, Instant end,
                                         const std::vector<std::string>& calendarIds,
                                         const EventVisitor& visitor) {
  std::vector<EventRecord> events;
  Status read = statusOf([&] {
    eds::GlibThread::instance().run([&] {
      impl_->readEach(CalendarEntityType::events, calendarIds,
                      [&](ECalClient* client, const std::string& uid) {
                        eds::appendEvents(client, uid, start, end, events);
                      });
    });
  });
  if (!read.ok()) return read;
  eds::sortByStart(events);
  for (const EventRecord& event : events) {
    bool stop = false;
    visitor(event, stop);
    if (stop) break;
  }
  return Status();
}

Status EdsCalendarStore::enumerateIncompleteReminders(Instant start, Instant end,
                                                      const std::vector<std::string>& listIds,
                                                      const ReminderVisitor& visitor) {
  std::vector<ReminderRecord> reminders;
  Status read = statusOf([&] {
    eds::GlibThread::instance().run([&] {
      impl_->readEach(CalendarEntityType::reminders, listIds,
                      [&](ECalClient* client, const std::string& uid) {
                        eds::appendIncompleteTasks(client, uid, start, end, reminders);
                      });
    });
  });
  if (!read.ok()) return read;
  for (const ReminderRecord& reminder : reminders) {
    bool stop = false;
    visitor(reminder, stop);
    if (stop) break;
  }
  return Status();
}

Status EdsCalendarStore::observeChanges(std::function<void()> onChange, ObserverToken* token) {
  return statusOf([&] {
    eds::GlibThread::instance().run([&] { *token = impl_->wiring.observe(std::move(onChange)); });
  });
}

EdsCalendarStore::EdsCalendarStore(EdsSystem& system) : impl_(std::make_unique<Impl>(system)) {}

Status EdsSystem::openCalendarStore(std::unique_ptr<CalendarStore>* store) {
  return statusOf([&] {
    eds::GlibThread::instance().run([&] { *store = std::make_unique<EdsCalendarStore>(*this); });
  });
}

}  // namespace pemrix::platform
