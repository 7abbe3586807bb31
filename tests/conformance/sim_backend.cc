// The simulator as a conformance backend: its writer builds a World (sim/world.h) with the
// conformance world's sources, single events, reminders and contacts, and a System over
// it; faults and authorisation states are the world's own, so injecting one makes the
// system anew over the changed world. Another client's change is a notification the
// simulated system posts.
#include <gtest/gtest.h>

#include "conformance/backend.h"
#include "sim/simulated_system.h"
#include "sim/simulated_system_impl.h"
#include "sim/zone_file.h"

namespace pemrix::conformance {
namespace {

using platform::Authorization;

Instant instantAt(std::chrono::local_seconds local, const std::string& zone) {
  std::optional<platform::Zone> loaded = platform::loadZone(zone);
  EXPECT_TRUE(loaded) << zone;
  return loaded ? Instant(loaded->toUtc(local)) : Instant{};
}

platform::WorldDue dueOf(const Reminder& reminder) {
  auto day = std::chrono::floor<std::chrono::days>(reminder.due);
  std::chrono::year_month_day date(day);
  platform::WorldDue due;
  due.year = static_cast<int>(date.year());
  due.month = static_cast<unsigned>(date.month());
  due.day = static_cast<unsigned>(date.day());
  if (!reminder.dateOnly) {
    std::chrono::hh_mm_ss<std::chrono::seconds> time(reminder.due - day);
    due.hour = time.hours().count();
    due.minute = time.minutes().count();
    due.second = time.seconds().count();
    due.timeZone = reminder.zone;
  }
  return due;
}

class SimBackend final : public ConformanceBackend {
 public:
  std::string cannot(Capability capability) const override {
    switch (capability) {
      case Capability::recurrence:
        return "the simulator's world holds single events at fixed instants: no recurrence";
      case Capability::nominalDays:
        return "the simulator's world gives an event's end as an instant, not a length in days";
      default:
        return "";
    }
  }

  void write(const World& world) override {
    world_ = platform::World{};
    world_.timeZone = world.userZone;
    for (const Source& source : world.sources) {
      if (source.kind == Kind::contacts) {
        world_.containers.push_back({source.id, source.title});
      } else {
        world_.calendars.push_back({source.id, source.title,
                                    source.kind == Kind::events
                                        ? platform::CalendarEntityType::events
                                        : platform::CalendarEntityType::reminders});
      }
    }
    for (const Event& event : world.events) {
      // Series and lengths in days are skipped by the cases that need them (`cannot`).
      if (event.repeat || (event.days > 0 && !event.allDay)) continue;
      platform::WorldEvent out{event.calendar, event.id, event.title, {}, {}, event.allDay};
      if (event.allDay) {
        auto day = std::chrono::floor<std::chrono::days>(event.start);
        out.start = instantAt(day, world.userZone);
        out.end = instantAt(day + std::chrono::days(event.days), world.userZone);
      } else {
        out.start = instantAt(event.start, event.zone);
        out.end = *out.start + event.length;
      }
      world_.events.push_back(out);
    }
    for (const Reminder& reminder : world.reminders) {
      world_.reminders.push_back(
          {reminder.list, reminder.id, reminder.title, reminder.completed, dueOf(reminder)});
    }
    for (const Contact& contact : world.contacts) {
      world_.contacts.push_back({contact.container, contact.id, contact.givenName,
                                 contact.familyName, contact.organizationName, contact.jobTitle});
    }
    rebuild();
  }

  platform::System& system() override { return *system_; }
  platform::CalendarStore& calendarStore() override { return *calendars_; }
  platform::ContactStore& contactStore() override { return *contacts_; }
  void onStoreQueue(const std::function<void()>& task) override { task(); }

  void changeFromAnotherClient(Kind kind, const std::string&) override {
    system_->impl().postChange(kind == Kind::contacts ? platform::WorldChange::Store::contacts
                                                      : platform::WorldChange::Store::events);
  }

  void inject(Fault fault, Kind kind, const std::string& sourceId) override {
    if (fault == Fault::sourceGone) {
      // Taken out of the world, as another client deleting it would.
      std::erase_if(world_.calendars, [&](const auto& source) { return source.id == sourceId; });
      std::erase_if(world_.containers, [&](const auto& source) { return source.id == sourceId; });
    } else {
      world_.faults.throwsIn.push_back(kind == Kind::events      ? "events"
                                       : kind == Kind::reminders ? "reminders"
                                                                 : "contacts");
    }
    rebuild();
  }

  void setAuthorization(Kind kind, Authorization state) override {
    world_.authorization[static_cast<std::size_t>(kind)] = state;
    rebuild();
  }

 private:
  void rebuild() {
    calendars_.reset();
    contacts_.reset();
    system_.reset();
    system_ = std::make_unique<platform::SimulatedSystem>(world_, clock_);
    EXPECT_TRUE(system_->openCalendarStore(&calendars_).ok());
    EXPECT_TRUE(system_->openContactStore(&contacts_).ok());
  }

  platform::World world_;
  platform::SystemSimClock clock_;
  std::unique_ptr<platform::SimulatedSystem> system_;
  std::unique_ptr<platform::CalendarStore> calendars_;
  std::unique_ptr<platform::ContactStore> contacts_;
};

}  // namespace

std::unique_ptr<ConformanceBackend> makeConformanceBackend() {
  return std::make_unique<SimBackend>();
}

}  // namespace pemrix::conformance
