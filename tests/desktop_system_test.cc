// Tests of the desktop System over two backends (two simulated systems): the sources of
// both with distinct identifiers, reads routed to the backend that owns each source and
// merged in date order when they span both, access as the more open backend gives it, and
// changes from either backend.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/backend_choice.h"
#include "platform/desktop/desktop_system.h"
#include "sim/simulated_system.h"
#include "sim/simulated_system_impl.h"
#include "store_test_support.h"
#include "support/manual_clock.h"
#include "support/waiting.h"

namespace pemrix::platform {
namespace {

constexpr const char* kFirst = R"({
  "calendars": [{"id": "c1", "title": "Home"}, {"id": "l1", "entityType": "reminders"}],
  "events": [
    {"calendar": "c1", "id": "late", "start": "2024-05-01T11:00:00Z", "end": "2024-05-01T12:00:00Z"},
    {"calendar": "c1", "id": "early", "start": "2024-05-01T08:00:00Z", "end": "2024-05-01T09:00:00Z"}
  ],
  "containers": [{"id": "b1", "name": "Friends"}],
  "contacts": [{"container": "b1", "id": "p1", "givenName": "Ann"}]
})";

// The same identifiers as the first, so that only the prefix keeps them apart.
constexpr const char* kSecond = R"({
  "calendars": [{"id": "c1", "title": "Work"}],
  "events": [
    {"calendar": "c1", "id": "middle", "start": "2024-05-01T10:00:00Z", "end": "2024-05-01T10:30:00Z"}
  ],
  "containers": [{"id": "b1", "name": "Colleagues"}],
  "contacts": [{"container": "b1", "id": "p2", "givenName": "Ben"}]
})";

class DesktopSystemTest : public ::testing::Test {
 protected:
  DesktopSystemTest() {
    auto first = std::make_unique<SimulatedSystem>(testing::worldFrom(kFirst), clock_);
    auto second = std::make_unique<SimulatedSystem>(testing::worldFrom(kSecond), clock_);
    first_ = first.get();
    second_ = second.get();
    std::vector<DesktopBackend> backends;
    backends.push_back({"", std::move(first)});
    backends.push_back({"kde:", std::move(second)});
    system_ = std::make_unique<DesktopSystem>(std::move(backends));
    EXPECT_TRUE(system_->openCalendarStore(&calendars_).ok());
    EXPECT_TRUE(system_->openContactStore(&contacts_).ok());
  }

  // (source, item) of each event of `ids` between 00:00 and 24:00 on 1 May 2024.
  std::vector<std::string> events(const std::vector<std::string>& ids, Status* status) {
    std::vector<std::string> seen;
    *status = calendars_->enumerateEvents(
        testing::at("2024-05-01T00:00:00Z"), testing::at("2024-05-02T00:00:00Z"), ids,
        [&](const EventRecord& event, bool&) {
          seen.push_back(event.calendarIdentifier.value_or("-") + "/" + event.itemIdentifier);
        });
    return seen;
  }

  testing::ManualClock clock_{testing::at("2024-05-01T00:00:00Z")};
  SimulatedSystem* first_ = nullptr;
  SimulatedSystem* second_ = nullptr;
  std::unique_ptr<DesktopSystem> system_;
  std::unique_ptr<CalendarStore> calendars_;
  std::unique_ptr<ContactStore> contacts_;
};

TEST_F(DesktopSystemTest, ListsTheSourcesOfBothBackendsUnderDistinctIdentifiers) {
  std::vector<CalendarInfo> listed;
  ASSERT_TRUE(calendars_->calendars(CalendarEntityType::events, &listed).ok());
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].identifier + "=" + listed[0].title, "c1=Home");
  EXPECT_EQ(listed[1].identifier + "=" + listed[1].title, "kde:c1=Work");

  std::vector<ContainerInfo> containers;
  ASSERT_TRUE(contacts_->containers(&containers).ok());
  ASSERT_EQ(containers.size(), 2u);
  EXPECT_EQ(containers[1].identifier + "=" + containers[1].name, "kde:b1=Colleagues");
}

TEST_F(DesktopSystemTest, ReadsGoToTheOwningBackendAndSpanningReadsComeInDateOrder) {
  Status status;
  // One backend: its records as it delivers them.
  EXPECT_EQ(events({"c1"}, &status), (std::vector<std::string>{"c1/late", "c1/early"}));
  EXPECT_TRUE(status.ok());
  EXPECT_EQ(events({"kde:c1"}, &status), (std::vector<std::string>{"kde:c1/middle"}));
  // Both: merged by start.
  EXPECT_EQ(events({"kde:c1", "c1"}, &status),
            (std::vector<std::string>{"c1/early", "kde:c1/middle", "c1/late"}));
  // A source the owning backend does not have is gone.
  events({"kde:c9"}, &status);
  EXPECT_TRUE(status.isGone());

  std::vector<std::string> names;
  auto collect = [&](const ContactRecord& contact, bool&) { names.push_back(contact.givenName); };
  ASSERT_TRUE(contacts_->enumerateContacts("kde:b1", collect).ok());
  ASSERT_TRUE(contacts_->enumerateContacts("b1", collect).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"Ben", "Ann"}));
}

TEST_F(DesktopSystemTest, AccessIsWhatTheMoreOpenBackendGives) {
  first_->impl().setAuthorization(WorldEntity::events, Authorization::denied);
  EXPECT_EQ(system_->calendarAuthorization(CalendarEntityType::events), Authorization::fullAccess);
  second_->impl().setAuthorization(WorldEntity::events, Authorization::restricted);
  EXPECT_EQ(system_->calendarAuthorization(CalendarEntityType::events), Authorization::denied);
}

TEST_F(DesktopSystemTest, ChangesOfEitherBackendReachTheObserverUntilReleased) {
  auto calls = std::make_shared<std::atomic<int>>(0);
  ObserverToken token;
  ASSERT_TRUE(contacts_->observeChanges([calls] { ++*calls; }, &token).ok());
  first_->impl().postChange(WorldChange::Store::contacts);
  second_->impl().postChange(WorldChange::Store::contacts);
  EXPECT_TRUE(testing::eventually([&] { return *calls == 2; }));
  token = ObserverToken();
  second_->impl().postChange(WorldChange::Store::contacts);
  first_->close();
  second_->close();
  EXPECT_EQ(*calls, 2);
}

}  // namespace
}  // namespace pemrix::platform

namespace pemrix::platform::desktop {
namespace {

// Which modules load for what the session bus shows.
TEST(BackendChoiceTest, LoadsTheStoresTheBusShowsAndNeverStartsAkonadi) {
  const std::string eds = kEdsRegistryName, akonadi = kAkonadiControlName;
  struct Case {
    std::optional<BusNames> bus;
    std::vector<std::string> modules;
  } cases[] = {
      {std::nullopt, {"pemrix-backend-eds.so"}},  // no bus: EDS says why nothing is readable
      {BusNames{}, {"pemrix-backend-eds.so"}},
      {BusNames{{}, {eds}}, {"pemrix-backend-eds.so"}},         // GNOME starts EDS on demand
      {BusNames{{eds}, {akonadi}}, {"pemrix-backend-eds.so"}},  // Akonadi installed, not running
      {BusNames{{akonadi}, {akonadi}}, {"pemrix-backend-akonadi.so"}},
      {BusNames{{akonadi}, {eds}}, {"pemrix-backend-eds.so", "pemrix-backend-akonadi.so"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> chosen;
    for (const BackendModule& module : chooseBackends(c.bus)) chosen.push_back(module.file);
    EXPECT_EQ(chosen, c.modules);
  }
}

}  // namespace
}  // namespace pemrix::platform::desktop
