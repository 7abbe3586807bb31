// The calendar store over Akonadi: each call runs CalendarReader on the Qt thread, where the
// Akonadi client lives, and waits for it; the visitors are called there too.
#include "platform/calendar_store.h"

#include "platform/akonadi/akonadi_system.h"
#include "platform/akonadi/calendar_reader.h"
#include "platform/akonadi/qt_thread.h"

namespace pemrix::platform {

namespace {

// Runs `read` on the Qt thread and returns its status.
template <typename Read>
Status onQtThread(Read read) {
  Status status;
  akonadi::QtThread::instance().run([&] { status = read(); });
  return status;
}

class AkonadiCalendarStore final : public CalendarStore {
 public:
  explicit AkonadiCalendarStore(akonadi::StoreClient& client)
      : reader_(std::make_unique<akonadi::CalendarReader>(client)) {}
  ~AkonadiCalendarStore() override {
    akonadi::QtThread::instance().run([this] { reader_.reset(); });
  }

  void requestAccess(CalendarEntityType /*type*/, AccessCompletion completion) override {
    akonadi::CalendarReader::endAccessRequest(std::move(completion));
  }

  Status calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) override {
    return onQtThread([&] { return reader_->calendars(type, out); });
  }

  Status enumerateEvents(Instant start, Instant end, const std::vector<std::string>& calendarIds,
                         const EventVisitor& visitor) override {
    return onQtThread([&] {
      return reader_->enumerateEvents(TimeWindow{start, end}, calendarIds, visitor);
    });
  }

  Status enumerateIncompleteReminders(Instant start, Instant end,
                                      const std::vector<std::string>& listIds,
                                      const ReminderVisitor& visitor) override {
    return onQtThread([&] {
      return reader_->enumerateIncompleteReminders(TimeWindow{start, end}, listIds, visitor);
    });
  }

  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override {
    return onQtThread([&] {
      *token = reader_->observe(std::move(onChange));
      return Status();
    });
  }

 private:
  std::unique_ptr<akonadi::CalendarReader> reader_;
};

}  // namespace

Status AkonadiSystem::openCalendarStore(std::unique_ptr<CalendarStore>* store) {
  return statusOf([&] { *store = std::make_unique<AkonadiCalendarStore>(client()); });
}

}  // namespace pemrix::platform
