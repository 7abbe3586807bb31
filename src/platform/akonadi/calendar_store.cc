// The calendar store over Akonadi: forwards to CalendarReader on the Qt thread (the
// stores' serial queue).
#include "platform/calendar_store.h"

#include "platform/akonadi/akonadi_system.h"
#include "platform/akonadi/calendar_reader.h"
#include "platform/akonadi/qt_thread.h"

namespace pemrix::platform {

struct CalendarStore::Impl {
  akonadi::CalendarReader reader;
};

Authorization CalendarStore::authorization(System& system, CalendarEntityType /*type*/) {
  return system.calendarAccess();
}

CalendarStore::CalendarStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Status CalendarStore::open(System& system, std::unique_ptr<CalendarStore>* store) {
  return statusOf([&] {
    store->reset(
        new CalendarStore(std::make_unique<Impl>(Impl{akonadi::CalendarReader(system.client())})));
  });
}

CalendarStore::~CalendarStore() {
  akonadi::QtThread::instance().run([this] { impl_.reset(); });
}

void CalendarStore::requestAccess(CalendarEntityType /*type*/, AccessCompletion completion) {
  akonadi::CalendarReader::endAccessRequest(std::move(completion));
}

Status CalendarStore::calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) {
  return impl_->reader.calendars(type, out);
}

Status CalendarStore::enumerateEvents(Instant start, Instant end,
                                      const std::vector<std::string>& calendarIds,
                                      const EventVisitor& visitor) {
  return impl_->reader.enumerateEvents(TimeWindow{start, end}, calendarIds, visitor);
}

Status CalendarStore::enumerateIncompleteReminders(Instant start, Instant end,
                                                   const std::vector<std::string>& listIds,
                                                   const ReminderVisitor& visitor) {
  return impl_->reader.enumerateIncompleteReminders(TimeWindow{start, end}, listIds, visitor);
}

Status CalendarStore::observeChanges(std::function<void()> onChange, ObserverToken* token) {
  *token = impl_->reader.observe(std::move(onChange));
  return Status();
}

}  // namespace pemrix::platform
