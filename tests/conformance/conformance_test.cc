// What every backend of the platform interface must do, run against the backend this
// executable is linked with (backend.h): sources of each kind in the store's order,
// events overlapping a window exactly at its edges, series across clock changes by the one
// wall-time rule (platform/wall_time.h), reminders' due dates, the five contact names past
// the scan cap, change notifications, authorisation and failures. One world, written
// through the backend's own writer, serves every case; a case that changes the store has
// the world written again for the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <set>
#include <thread>

#include "common/limits.h"
#include "common/timestamp.h"
#include "conformance/platform_calls.h"

namespace pemrix::conformance {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;
using platform::Authorization;

// Skips the case, naming the reason, when the backend's writer cannot express it.
#define SKIP_UNLESS(capability)                                       \
  if (std::string why = backend().cannot(capability); !why.empty()) { \
    GTEST_SKIP() << why;                                              \
  }

Instant at(const char* text) {
  return parseDate(text).value();
}

local_seconds wall(year_month_day date, seconds time = 0s) {
  return local_days(date) + time;
}

World theWorld() {
  World world;  // the user is in Europe/Berlin
  world.sources = {
      {Kind::events, "cal-alpha", "Alpha"},          {Kind::events, "cal-beta", "Beta"},
      {Kind::events, "cal-delta", "Delta"},          {Kind::events, "cal-gamma", "Gamma"},
      {Kind::reminders, "list-errands", "Errands"},  {Kind::reminders, "list-garden", "Garden"},
      {Kind::contacts, "book-personal", "Personal"}, {Kind::contacts, "book-work", "Work"}};
  const auto may1 = 2024y / May / 1;
  auto timed = [](const char* calendar, const char* id, const char* zone, local_seconds start,
                  seconds length) {
    Event event;
    event.calendar = calendar;
    event.id = event.title = id;
    event.zone = zone;
    event.start = start;
    event.length = length;
    return event;
  };
  auto allDay = [&](const char* id, year_month_day date, int days) {
    Event event = timed("cal-beta", id, "UTC", wall(date), 0s);
    event.allDay = true;
    event.days = days;
    return event;
  };
  world.events = {
      timed("cal-alpha", "ends-at-start", "UTC", wall(may1, 8h), 2h),
      timed("cal-alpha", "overlaps-start", "UTC", wall(may1, 9h), 1h + 1s),
      timed("cal-beta", "inside", "UTC", wall(may1, 10h + 30min), 30min),
      timed("cal-alpha", "overlaps-end", "UTC", wall(may1, 11h + 30min), 1h),
      timed("cal-alpha", "starts-at-end", "UTC", wall(may1, 12h), 1h),
      timed("cal-beta", "tokyo", "Asia/Tokyo", wall(may1, 19h), 1h),
      allDay("all-day-1", may1, 1),
      allDay("all-day-2", 2024y / May / 2, 2),
  };
  // Weekly at 10:00 from 29 April, six times: the second moved to 7 May at 14:00, the fourth
  // excluded. Daily at 02:30 across both clock changes. A day, given in days, across each.
  Event weekly =
      timed("cal-delta", "standup", "Europe/Berlin", wall(2024y / April / 29, 10h), 30min);
  weekly.repeat = Repeat{true,
                         6,
                         {wall(2024y / May / 20, 10h)},
                         {{wall(2024y / May / 6, 10h), wall(2024y / May / 7, 14h), "moved"}}};
  Event daily =
      timed("cal-gamma", "night", "Europe/Berlin", wall(2024y / March / 30, 2h + 30min), 1h);
  daily.repeat = Repeat{false, 213, {}, {}};
  Event spring =
      timed("cal-beta", "day-spring", "Europe/Berlin", wall(2024y / March / 30, 12h), 0s);
  Event autumn =
      timed("cal-beta", "day-autumn", "Europe/Berlin", wall(2024y / October / 26, 12h), 0s);
  spring.days = autumn.days = 1;
  world.events.insert(world.events.end(), {weekly, daily, spring, autumn});

  auto due = [](const char* id, local_seconds when, std::optional<std::string> zone) {
    Reminder reminder;
    reminder.list = "list-errands";
    reminder.id = reminder.title = id;
    reminder.due = when;
    reminder.zone = std::move(zone);
    return reminder;
  };
  Reminder dateOnly = due("date-only", wall(may1), std::nullopt);
  dateOnly.dateOnly = true;
  Reminder done = due("done", wall(may1, 14h), "UTC");
  done.completed = true;
  Reminder elsewhere = due("elsewhere", wall(may1, 9h + 30min), "UTC");
  elsewhere.list = "list-garden";
  world.reminders = {
      dateOnly,
      due("floating", wall(may1, 9h + 30min), std::nullopt),
      due("zoned", wall(may1, 9h + 30min), "America/New_York"),
      due("repeated", wall(2024y / October / 27, 2h + 30min), "Europe/Berlin"),
      due("skipped", wall(2024y / March / 31, 2h + 30min), "Europe/Berlin"),
      due("skipped-floating", wall(2024y / March / 31, 2h + 45min), std::nullopt),
      done,
      elsewhere,
  };
  // Family names in the order every store sorts them; the work book holds more than the
  // scan cap.
  world.contacts = {{"book-personal", "c-adams", "Ada", "Adams", "Acme", "Engineer"},
                    {"book-personal", "c-baker", "", "Baker", "", ""},
                    {"book-personal", "c-clark", "Cleo", "Clark", "Clark & Co", "Owner"}};
  char id[16];
  for (int i = 0; i < 2100; ++i) {
    std::snprintf(id, sizeof id, "w-%04d", i);
    world.contacts.push_back({"book-work", id, "Filler", std::string("Zz") + id, "", ""});
  }
  return world;
}

// The backend, made once per run and let go of before the process ends; the world is
// written again only after a case changed it.
class Conformance : public ::testing::Test {
 public:
  static void release() { backend_.reset(); }

 protected:
  static ConformanceBackend& backend() { return *backend_; }

  void SetUp() override {
    if (!backend_) backend_ = makeConformanceBackend();
    if (!written_) backend_->write(theWorld());
    written_ = true;
  }
  // The case changes the store: the next one starts from the world again.
  static void changesTheStore() { written_ = false; }

  static std::string text(const EventSeen& event, bool titled = false) {
    return event.calendar + "/" + event.id + (titled ? " " + event.title : "") + " " +
           formatDate(event.start) + " " + formatDate(event.end) + (event.allDay ? " all-day" : "");
  }
  static std::string text(const Contact& c) {
    return c.id + "|" + c.givenName + "|" + c.familyName + "|" + c.organizationName + "|" +
           c.jobTitle;
  }

 private:
  static inline std::unique_ptr<ConformanceBackend> backend_;
  static inline bool written_ = false;
};

class ReleaseBackend : public ::testing::Environment {
  void TearDown() override { Conformance::release(); }
};
[[maybe_unused]] ::testing::Environment* const kReleaseBackend =
    ::testing::AddGlobalTestEnvironment(new ReleaseBackend);

template <typename Row>
class Table : public Conformance, public ::testing::WithParamInterface<Row> {};

// A row prints as its name in failure messages.
template <typename Row>
requires requires(const Row& row) {
  row.name;
}
std::ostream& operator<<(std::ostream& out, const Row& row) {
  return out << row.name;
}

template <typename Row>
std::string rowName(const ::testing::TestParamInfo<Row>& info) {
  return info.param.name;
}

// The sources of one kind, with their titles, in the store's order; contact containers
// only where the writer can make the world's own.
struct SourcesRow {
  const char* name;
  Kind kind;
  std::optional<Capability> needs;
};

using Sources = Table<SourcesRow>;

TEST_P(Sources, AreListedWithTheirTitlesInTheStoresOrder) {
  const SourcesRow& row = GetParam();
  if (row.needs) {
    SKIP_UNLESS(*row.needs);
  }
  std::vector<std::string> expected, listed;
  for (const Source& source : theWorld().sources) {
    if (source.kind == row.kind) expected.push_back(source.id + " " + source.title);
  }
  Read<std::vector<Source>> read = sourcesOf(backend(), row.kind);
  ASSERT_FALSE(read.failed());
  for (const Source& source : *read.records) listed.push_back(source.id + " " + source.title);
  EXPECT_EQ(listed, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conformance, Sources,
    ::testing::Values(SourcesRow{"Calendars", Kind::events, std::nullopt},
                      SourcesRow{"ReminderLists", Kind::reminders, std::nullopt},
                      SourcesRow{"ContactContainers", Kind::contacts, Capability::namedContainers}),
    rowName<SourcesRow>);

// Events of cal-alpha and cal-beta overlapping [start, end): one that ends at the start or
// starts at the end is out; all-day events cover the user's day (Berlin, UTC+2).
struct WindowRow {
  const char* name;
  const char* start;
  const char* end;
  std::set<std::string> expected;
};

using EventWindows = Table<WindowRow>;

TEST_P(EventWindows, EventsOverlappingTheWindowAndNoOthers) {
  const WindowRow& row = GetParam();
  Read<std::vector<EventSeen>> read =
      eventsIn(backend(), {"cal-alpha", "cal-beta"}, at(row.start), at(row.end));
  ASSERT_FALSE(read.failed());
  std::set<std::string> seen;
  for (const EventSeen& event : *read.records) seen.insert(text(event));
  EXPECT_EQ(seen, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conformance, EventWindows,
    ::testing::Values(
        WindowRow{"Morning",
                  "2024-05-01T10:00:00Z",
                  "2024-05-01T12:00:00Z",
                  {"cal-alpha/overlaps-start 2024-05-01T09:00:00Z 2024-05-01T10:00:01Z",
                   "cal-beta/inside 2024-05-01T10:30:00Z 2024-05-01T11:00:00Z",
                   "cal-alpha/overlaps-end 2024-05-01T11:30:00Z 2024-05-01T12:30:00Z",
                   "cal-beta/tokyo 2024-05-01T10:00:00Z 2024-05-01T11:00:00Z",
                   "cal-beta/all-day-1 2024-04-30T22:00:00Z 2024-05-01T22:00:00Z all-day"}},
        WindowRow{"OneSecond",
                  "2024-05-01T10:00:00Z",
                  "2024-05-01T10:00:01Z",
                  {"cal-alpha/overlaps-start 2024-05-01T09:00:00Z 2024-05-01T10:00:01Z",
                   "cal-beta/tokyo 2024-05-01T10:00:00Z 2024-05-01T11:00:00Z",
                   "cal-beta/all-day-1 2024-04-30T22:00:00Z 2024-05-01T22:00:00Z all-day"}},
        WindowRow{"BeforeTheNextDay",
                  "2024-05-01T21:00:00Z",
                  "2024-05-01T22:00:00Z",
                  {"cal-beta/all-day-1 2024-04-30T22:00:00Z 2024-05-01T22:00:00Z all-day"}},
        WindowRow{"TheNextDay",
                  "2024-05-01T22:00:00Z",
                  "2024-05-02T00:00:00Z",
                  {"cal-beta/all-day-2 2024-05-01T22:00:00Z 2024-05-03T22:00:00Z all-day"}}),
    rowName<WindowRow>);

// Series (in cal-delta and cal-gamma) and lengths in days (in cal-beta): each occurrence at its own
// wall time by the one rule (a repeated time is its first instant, a skipped one moves forward by
// the gap), lasting as long as the first; a day given in days is one calendar day (23 or 25 hours).
struct SeriesRow {
  const char* name;
  Capability needs;
  const char* calendar;
  const char* start;
  const char* end;
  std::vector<std::string> expected;  // "calendar/id title start end", by start
};

using Series = Table<SeriesRow>;

TEST_P(Series, OccurrencesFollowTheWallTimeRule) {
  const SeriesRow& row = GetParam();
  SKIP_UNLESS(row.needs);
  Read<std::vector<EventSeen>> read =
      eventsIn(backend(), {row.calendar}, at(row.start), at(row.end));
  ASSERT_FALSE(read.failed());
  std::vector<EventSeen> events = *read.records;
  std::stable_sort(events.begin(), events.end(),
                   [](const EventSeen& a, const EventSeen& b) { return a.start < b.start; });
  std::vector<std::string> seen;
  for (const EventSeen& event : events) seen.push_back(text(event, true));
  EXPECT_EQ(seen, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conformance, Series,
    ::testing::Values(
        SeriesRow{"WeeklyWithMovedAndExcluded",
                  Capability::recurrence,
                  "cal-delta",
                  "2024-05-01T00:00:00Z",
                  "2024-06-01T00:00:00Z",
                  {"cal-delta/standup moved 2024-05-07T12:00:00Z 2024-05-07T12:30:00Z",
                   "cal-delta/standup standup 2024-05-13T08:00:00Z 2024-05-13T08:30:00Z",
                   "cal-delta/standup standup 2024-05-27T08:00:00Z 2024-05-27T08:30:00Z"}},
        SeriesRow{"DailyAcrossSpringForward",
                  Capability::recurrence,
                  "cal-gamma",
                  "2024-03-30T00:00:00Z",
                  "2024-04-02T00:00:00Z",
                  {"cal-gamma/night night 2024-03-30T01:30:00Z 2024-03-30T02:30:00Z",
                   "cal-gamma/night night 2024-03-31T01:30:00Z 2024-03-31T02:30:00Z",
                   "cal-gamma/night night 2024-04-01T00:30:00Z 2024-04-01T01:30:00Z"}},
        SeriesRow{"DailyAcrossFallBack",
                  Capability::recurrence,
                  "cal-gamma",
                  "2024-10-26T00:00:00Z",
                  "2024-10-29T00:00:00Z",
                  {"cal-gamma/night night 2024-10-26T00:30:00Z 2024-10-26T01:30:00Z",
                   "cal-gamma/night night 2024-10-27T00:30:00Z 2024-10-27T01:30:00Z",
                   "cal-gamma/night night 2024-10-28T01:30:00Z 2024-10-28T02:30:00Z"}},
        SeriesRow{"OneDayAcrossSpringForward",
                  Capability::nominalDays,
                  "cal-beta",
                  "2024-03-30T10:00:00Z",
                  "2024-03-30T12:00:00Z",
                  {"cal-beta/day-spring day-spring 2024-03-30T11:00:00Z 2024-03-31T10:00:00Z"}},
        SeriesRow{"OneDayAcrossFallBack",
                  Capability::nominalDays,
                  "cal-beta",
                  "2024-10-26T10:00:00Z",
                  "2024-10-26T12:00:00Z",
                  {"cal-beta/day-autumn day-autumn 2024-10-26T10:00:00Z 2024-10-27T11:00:00Z"}}),
    rowName<SeriesRow>);

// Reminders of list-errands due in [start, end): exactly these, at these instants, never a
// completed one or one of another list, and none due outside the window (however close to
// it the service's own test puts them).
struct DueRow {
  const char* name;
  const char* start;
  const char* end;
  std::set<std::string> expected;  // "id@due"
  std::optional<Capability> needs = std::nullopt;
};

using DueDates = Table<DueRow>;

TEST_P(DueDates, ExactlyTheRemindersDueInTheWindowAtTheirInstants) {
  const DueRow& row = GetParam();
  if (row.needs) {
    SKIP_UNLESS(*row.needs);
  }
  const Instant start = at(row.start), end = at(row.end);
  Read<std::vector<ReminderSeen>> read = remindersIn(backend(), {"list-errands"}, start, end);
  ASSERT_FALSE(read.failed());
  std::set<std::string> seen;
  for (const ReminderSeen& reminder : *read.records) {
    EXPECT_EQ(reminder.list, "list-errands") << reminder.id;
    EXPECT_FALSE(reminder.completed) << reminder.id;
    ASSERT_TRUE(reminder.due) << reminder.id;
    seen.insert(reminder.id + "@" + formatDate(*reminder.due));
  }
  EXPECT_EQ(seen, row.expected);
  EXPECT_EQ(seen.size(), read.records->size()) << "a reminder came twice";
}

INSTANTIATE_TEST_SUITE_P(Conformance, DueDates,
                         ::testing::Values(DueRow{"DateOnlyIsTheUsersDay",
                                                  "2024-04-30T22:00:00Z",
                                                  "2024-05-01T07:30:00Z",
                                                  {"date-only@2024-04-30T22:00:00Z"}},
                                           DueRow{"FloatingIsTheUsersWallTime",
                                                  "2024-05-01T07:30:00Z",
                                                  "2024-05-01T13:30:00Z",
                                                  {"floating@2024-05-01T07:30:00Z"}},
                                           DueRow{"ZonedAndNeverCompleted",
                                                  "2024-05-01T13:30:00Z",
                                                  "2024-05-02T00:00:00Z",
                                                  {"zoned@2024-05-01T13:30:00Z"}},
                                           DueRow{"SkippedTimeMovesForward",
                                                  "2024-03-31T01:30:00Z",
                                                  "2024-03-31T02:00:00Z",
                                                  {"skipped@2024-03-31T01:30:00Z",
                                                   "skipped-floating@2024-03-31T01:45:00Z"},
                                                  Capability::skippedDueTimes},
                                           DueRow{"RepeatedTimeIsTheFirst",
                                                  "2024-10-27T00:00:00Z",
                                                  "2024-10-27T01:00:00Z",
                                                  {"repeated@2024-10-27T00:30:00Z"}}),
                         rowName<DueRow>);

// The five names as written, each contact once; stopping keeps the order's prefix, past
// the scan cap too (the cap is the caller's, not the store's). A writer that cannot make
// the world's containers puts every contact into the store's one container.
TEST_F(Conformance, ContactsCarryTheFiveNamesInAStableOrderPastTheScanCap) {
  const bool oneContainer = !backend().cannot(Capability::namedContainers).empty();
  struct {
    const char* container;
    std::size_t stopAfter;
  } rows[] = {{"book-personal", 2}, {"book-work", limits::kContactScanCap}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.container);
    std::multiset<std::string> expected, seen;
    for (const Contact& contact : theWorld().contacts) {
      if (oneContainer || contact.container == row.container) expected.insert(text(contact));
    }
    Read<std::vector<Contact>> all = contactsOf(backend(), row.container);
    ASSERT_FALSE(all.failed());
    for (const Contact& contact : *all.records) seen.insert(text(contact));
    EXPECT_EQ(seen, expected);
    Read<std::vector<Contact>> again = contactsOf(backend(), row.container);
    Read<std::vector<Contact>> stopped = contactsOf(backend(), row.container, row.stopAfter);
    ASSERT_FALSE(again.failed() || stopped.failed());
    ASSERT_EQ(again.records->size(), all.records->size());
    ASSERT_EQ(stopped.records->size(), row.stopAfter);
    for (std::size_t i = 0; i < all.records->size(); ++i) {
      ASSERT_EQ(text((*again.records)[i]), text((*all.records)[i])) << "order at " << i;
      if (i < row.stopAfter) {
        ASSERT_EQ(text((*stopped.records)[i]), text((*all.records)[i]));
      }
    }
  }
}

// Another client's write is reported to a store that has read the source; once the
// observer is released, nothing more is.
TEST_F(Conformance, AnotherClientsWriteIsReportedUntilTheObserverIsReleased) {
  changesTheStore();
  struct {
    Kind kind;
    const char* source;
  } rows[] = {{Kind::events, "cal-alpha"},
              {Kind::reminders, "list-errands"},
              {Kind::contacts, "book-personal"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.source);
    const Instant may1 = at("2024-05-01T00:00:00Z");
    if (row.kind == Kind::contacts) {
      contactsOf(backend(), row.source);
    } else if (row.kind == Kind::events) {
      eventsIn(backend(), {row.source}, may1, may1 + 24h);
    } else {
      remindersIn(backend(), {row.source}, may1, may1 + 24h);
    }
    auto calls = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<void> observer = observe(backend(), row.kind, [calls] { ++*calls; });
    backend().changeFromAnotherClient(row.kind, row.source);
    auto giveUp = steady_clock::now() + 10s;
    while (*calls == 0 && steady_clock::now() < giveUp) std::this_thread::sleep_for(10ms);
    EXPECT_GT(*calls, 0) << "no change reported";
    std::this_thread::sleep_for(1s);  // reports of that write still on their way
    observer.reset();
    const int released = *calls;
    backend().changeFromAnotherClient(row.kind, row.source);
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(*calls, released) << "reported after the observer was released";
  }
}

// The state the user gave, as the bridge reads it; only a readable state lists sources.
struct AccessRow {
  const char* name;
  Authorization state;
  std::vector<Kind> kinds;
};

using Access = Table<AccessRow>;

TEST_P(Access, TheBridgeSeesTheStateTheUserGave) {
  const AccessRow& row = GetParam();
  if (row.state != Authorization::fullAccess) {
    SKIP_UNLESS(Capability::authorization);
    changesTheStore();
  }
  for (Kind kind : row.kinds) {
    backend().setAuthorization(kind, row.state);
    EXPECT_EQ(authorizationOf(backend(), kind), row.state) << static_cast<int>(kind);
    Read<std::vector<Source>> sources = sourcesOf(backend(), kind);
    EXPECT_EQ(!sources.failed() && !sources.records->empty(), platform::allowsReading(row.state))
        << static_cast<int>(kind);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Conformance, Access,
    ::testing::Values(
        AccessRow{"FullAccess",
                  Authorization::fullAccess,
                  {Kind::events, Kind::reminders, Kind::contacts}},
        AccessRow{"NotDetermined",
                  Authorization::notDetermined,
                  {Kind::events, Kind::reminders, Kind::contacts}},
        AccessRow{"Restricted",
                  Authorization::restricted,
                  {Kind::events, Kind::reminders, Kind::contacts}},
        AccessRow{"Denied", Authorization::denied, {Kind::events, Kind::reminders, Kind::contacts}},
        AccessRow{"WriteOnly", Authorization::writeOnly, {Kind::events}},
        AccessRow{"Limited", Authorization::limited, {Kind::contacts}},
        AccessRow{"Unknown", Authorization::unknown, {Kind::events, Kind::contacts}}),
    rowName<AccessRow>);

// A read of a source that went away after it was listed fails as gone; a read that the
// service fails, as unavailable: never an empty success.
struct FailureRow {
  const char* name;
  Fault fault;
  Capability needs;
  Kind kind;
  const char* source;
};

using Failures = Table<FailureRow>;

TEST_P(Failures, AReadThatCannotBeMadeFails) {
  const FailureRow& row = GetParam();
  SKIP_UNLESS(row.needs);
  changesTheStore();
  backend().inject(row.fault, row.kind, row.source);
  const Instant may1 = at("2024-05-01T00:00:00Z");
  platform::Status status =
      row.kind == Kind::events      ? eventsIn(backend(), {row.source}, may1, may1 + 24h).status
      : row.kind == Kind::reminders ? remindersIn(backend(), {row.source}, may1, may1 + 24h).status
                                    : contactsOf(backend(), row.source).status;
  EXPECT_FALSE(status.ok());
  if (row.fault == Fault::sourceGone) {
    EXPECT_TRUE(status.isGone()) << status.text();
  } else {
    EXPECT_TRUE(status.isUnavailable()) << status.text();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Conformance, Failures,
    ::testing::Values(FailureRow{"GoneCalendar", Fault::sourceGone, Capability::goneCalendar,
                                 Kind::events, "cal-alpha"},
                      FailureRow{"GoneList", Fault::sourceGone, Capability::goneCalendar,
                                 Kind::reminders, "list-errands"},
                      FailureRow{"GoneContainer", Fault::sourceGone, Capability::goneContainer,
                                 Kind::contacts, "book-personal"},
                      FailureRow{"FailingEvents", Fault::serviceFails, Capability::failingService,
                                 Kind::events, "cal-alpha"},
                      FailureRow{"FailingReminders", Fault::serviceFails,
                                 Capability::failingService, Kind::reminders, "list-errands"},
                      FailureRow{"FailingContacts", Fault::serviceFails, Capability::failingService,
                                 Kind::contacts, "book-personal"}),
    rowName<FailureRow>);

}  // namespace
}  // namespace pemrix::conformance
