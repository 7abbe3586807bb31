// The EDS layer's pure conversions, without a service: iCalendar times and zones,
// recurrence expansion with detached occurrences, due dates, the query expressions, the
// revision filter, the permission rule and how GLib errors become a Status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <gio/gio.h>
#include <libebook/libebook.h>
#include <libecal/libecal.h>

#include "platform/eds/bus_authorization.h"
#include "platform/eds/events_and_tasks.h"
#include "platform/eds/glib_error.h"
#include "platform/eds/ical_time.h"
#include "platform/eds/occurrences.h"
#include "platform/eds/revision_filter.h"
#include "protocol/bridge_failure.h"
#include "protocol/native_request.h"

namespace pemrix::platform::eds {
namespace {

Instant at(const char* text) {
  return *parseDate(text);
}

std::string text(Instant instant) {
  return formatDate(instant);
}

// Sets the local zone for one test and puts it back afterwards.
class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~LocalZone() {
    if (saved_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", saved_.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string saved_;
};

using Component = std::unique_ptr<icalcomponent, void (*)(icalcomponent*)>;

Component parse(const std::string& body) {
  std::string ics = "BEGIN:VEVENT\r\n" + body + "END:VEVENT\r\n";
  return Component(icalparser_parse_string(ics.c_str()), icalcomponent_free);
}

// The occurrences as "start/end" texts, in start order, "+" marking all-day ones.
std::vector<std::string> expand(icalcomponent* master, const std::vector<icalcomponent*>& detached,
                                const char* from, const char* to) {
  std::vector<Occurrence> found = occurrencesIn(master, detached, at(from), at(to), nullptr);
  std::sort(found.begin(), found.end(),
            [](const Occurrence& a, const Occurrence& b) { return a.start < b.start; });
  std::vector<std::string> out;
  for (const Occurrence& o : found) {
    out.push_back((o.allDay ? "+" : "") + text(o.start) + "/" + text(o.end));
  }
  return out;
}

TEST(EdsConversionTest, WallTimesResolveInTheirZoneUtcOrTheLocalZone) {
  LocalZone zone("America/New_York");
  auto berlin = parse("UID:a\r\nDTSTART;TZID=Europe/Berlin:20240701T100000\r\n");
  icalproperty* start = icalcomponent_get_first_property(berlin.get(), ICAL_DTSTART_PROPERTY);
  auto time = wallTimeOf(start, icalproperty_get_dtstart(start), nullptr);
  ASSERT_TRUE(time);
  EXPECT_EQ(text(*instantOf(*time)), "2024-07-01T08:00:00Z");
  EXPECT_STREQ(icaltimezone_get_location(time->zone), "Europe/Berlin");

  // EDS writes its built-in zones with a prefix.
  auto prefixed = parse(
      "UID:a\r\nDTSTART;TZID=/freeassociation.sourceforge.net/Europe/Berlin:20240101T100000\r\n");
  start = icalcomponent_get_first_property(prefixed.get(), ICAL_DTSTART_PROPERTY);
  EXPECT_EQ(text(*instantOf(*wallTimeOf(start, icalproperty_get_dtstart(start), nullptr))),
            "2024-01-01T09:00:00Z");

  auto floating = parse("UID:a\r\nDTSTART:20240101T100000\r\n");
  start = icalcomponent_get_first_property(floating.get(), ICAL_DTSTART_PROPERTY);
  time = wallTimeOf(start, icalproperty_get_dtstart(start), nullptr);
  EXPECT_TRUE(time->floating());
  EXPECT_EQ(text(*instantOf(*time)), "2024-01-01T15:00:00Z");

  auto utc = parse("UID:a\r\nDTSTART:20240101T100000Z\r\n");
  start = icalcomponent_get_first_property(utc.get(), ICAL_DTSTART_PROPERTY);
  time = wallTimeOf(start, icalproperty_get_dtstart(start), nullptr);
  EXPECT_TRUE(time->utc());
  EXPECT_EQ(text(*instantOf(*time)), "2024-01-01T10:00:00Z");

  // A DATE is local midnight.
  auto date = parse("UID:a\r\nDTSTART;VALUE=DATE:20240501\r\n");
  start = icalcomponent_get_first_property(date.get(), ICAL_DTSTART_PROPERTY);
  EXPECT_EQ(text(*instantOf(*wallTimeOf(start, icalproperty_get_dtstart(start), nullptr))),
            "2024-05-01T04:00:00Z");

  auto unknown = parse("UID:a\r\nDTSTART;TZID=Mars/Olympus:20240101T100000\r\n");
  start = icalcomponent_get_first_property(unknown.get(), ICAL_DTSTART_PROPERTY);
  EXPECT_FALSE(wallTimeOf(start, icalproperty_get_dtstart(start), nullptr));
}

TEST(EdsConversionTest, SingleEventsAndTheirDefaultLengths) {
  LocalZone zone("Europe/Berlin");
  auto timed = parse("UID:a\r\nDTSTART:20240501T100000Z\r\nDURATION:PT90M\r\n");
  EXPECT_EQ(expand(timed.get(), {}, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z"),
            std::vector<std::string>{"2024-05-01T10:00:00Z/2024-05-01T11:30:00Z"});
  // No end: a DATE lasts one day, a DATE-TIME no time at all.
  auto day = parse("UID:a\r\nDTSTART;VALUE=DATE:20240501\r\n");
  EXPECT_EQ(expand(day.get(), {}, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z"),
            std::vector<std::string>{"+2024-04-30T22:00:00Z/2024-05-01T22:00:00Z"});
  auto instant = parse("UID:a\r\nDTSTART:20240501T100000Z\r\n");
  EXPECT_EQ(expand(instant.get(), {}, "2024-05-01T00:00:00Z", "2024-05-02T00:00:00Z").size(), 1u);

  // The window is half-open on both sides: an event ending at its start is out, one
  // starting at its end is out, one running across it is in.
  auto before = parse("UID:a\r\nDTSTART:20240501T080000Z\r\nDTEND:20240501T100000Z\r\n");
  EXPECT_TRUE(expand(before.get(), {}, "2024-05-01T10:00:00Z", "2024-05-01T12:00:00Z").empty());
  auto after = parse("UID:a\r\nDTSTART:20240501T120000Z\r\nDTEND:20240501T130000Z\r\n");
  EXPECT_TRUE(expand(after.get(), {}, "2024-05-01T10:00:00Z", "2024-05-01T12:00:00Z").empty());
  auto across = parse("UID:a\r\nDTSTART:20240501T080000Z\r\nDTEND:20240501T150000Z\r\n");
  EXPECT_EQ(expand(across.get(), {}, "2024-05-01T10:00:00Z", "2024-05-01T12:00:00Z").size(), 1u);
}

TEST(EdsConversionTest, WeeklyRuleKeepsItsWallTimeAcrossAClockChange) {
  // Europe/Berlin moves to summer time on 31 March 2024.
  auto weekly = parse(
      "UID:w\r\nDTSTART;TZID=Europe/Berlin:20240318T100000\r\n"
      "DTEND;TZID=Europe/Berlin:20240318T110000\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\n");
  EXPECT_EQ(expand(weekly.get(), {}, "2024-03-01T00:00:00Z", "2024-05-01T00:00:00Z"),
            (std::vector<std::string>{"2024-03-18T09:00:00Z/2024-03-18T10:00:00Z",
                                      "2024-03-25T09:00:00Z/2024-03-25T10:00:00Z",
                                      "2024-04-01T08:00:00Z/2024-04-01T09:00:00Z",
                                      "2024-04-08T08:00:00Z/2024-04-08T09:00:00Z"}));
  // The days of a DURATION are calendar days, its hours exact (RFC 5545): from noon before
  // the change, P1DT1H ends at 13:00 on the next day, 24 hours later, not 25.
  auto nominal = parse(
      "UID:n\r\nDTSTART;TZID=Europe/Berlin:20240330T120000\r\nDURATION:P1DT1H\r\n"
      "RRULE:FREQ=DAILY;COUNT=2\r\n");
  EXPECT_EQ(expand(nominal.get(), {}, "2024-03-30T00:00:00Z", "2024-04-02T00:00:00Z"),
            (std::vector<std::string>{"2024-03-30T11:00:00Z/2024-03-31T11:00:00Z",
                                      "2024-03-31T10:00:00Z/2024-04-01T11:00:00Z"}));
}

TEST(EdsConversionTest, ExcludedDatesAddedDatesAndLongRunningRules) {
  auto daily = parse(
      "UID:d\r\nDTSTART:20240501T090000Z\r\nDTEND:20240501T093000Z\r\n"
      "RRULE:FREQ=DAILY;UNTIL=20240505T090000Z\r\nEXDATE:20240502T090000Z\r\n"
      "RDATE:20240510T120000Z\r\n");
  EXPECT_EQ(
      expand(daily.get(), {}, "2024-05-01T00:00:00Z", "2024-05-31T00:00:00Z"),
      (std::vector<std::string>{
          "2024-05-01T09:00:00Z/2024-05-01T09:30:00Z", "2024-05-03T09:00:00Z/2024-05-03T09:30:00Z",
          "2024-05-04T09:00:00Z/2024-05-04T09:30:00Z", "2024-05-05T09:00:00Z/2024-05-05T09:30:00Z",
          "2024-05-10T12:00:00Z/2024-05-10T12:30:00Z"}));

  // A daily rule running since 1990 yields exactly the window's days.
  auto old = parse("UID:o\r\nDTSTART:19900101T060000Z\r\nDURATION:PT1H\r\nRRULE:FREQ=DAILY\r\n");
  std::vector<std::string> days =
      expand(old.get(), {}, "2024-05-01T00:00:00Z", "2024-06-01T00:00:00Z");
  ASSERT_EQ(days.size(), 31u);
  EXPECT_EQ(days.front(), "2024-05-01T06:00:00Z/2024-05-01T07:00:00Z");
  EXPECT_EQ(days.back(), "2024-05-31T06:00:00Z/2024-05-31T07:00:00Z");
}

TEST(EdsConversionTest, DetachedOccurrencesReplaceTheirSlotWhereverTheyMove) {
  auto master = parse(
      "UID:s\r\nDTSTART:20240506T100000Z\r\nDTEND:20240506T110000Z\r\n"
      "RRULE:FREQ=WEEKLY;COUNT=3\r\n");
  // The second occurrence moved out of the window, the third into it from its end.
  auto movedOut = parse(
      "UID:s\r\nRECURRENCE-ID:20240513T100000Z\r\nDTSTART:20240620T100000Z\r\n"
      "DTEND:20240620T110000Z\r\nSUMMARY:moved away\r\n");
  auto movedIn = parse(
      "UID:s\r\nRECURRENCE-ID:20240520T100000Z\r\nDTSTART:20240507T150000Z\r\n"
      "DTEND:20240507T160000Z\r\n");
  std::vector<icalcomponent*> detached = {movedOut.get(), movedIn.get()};
  EXPECT_EQ(expand(master.get(), detached, "2024-05-01T00:00:00Z", "2024-05-19T00:00:00Z"),
            (std::vector<std::string>{"2024-05-06T10:00:00Z/2024-05-06T11:00:00Z",
                                      "2024-05-07T15:00:00Z/2024-05-07T16:00:00Z"}));
  // Without its master (not found by the window query), a detached occurrence still counts.
  EXPECT_EQ(expand(nullptr, {movedOut.get()}, "2024-06-01T00:00:00Z", "2024-07-01T00:00:00Z"),
            std::vector<std::string>{"2024-06-20T10:00:00Z/2024-06-20T11:00:00Z"});
}

TEST(EdsConversionTest, AllDayRulesStartAtLocalMidnight) {
  LocalZone zone("Europe/Berlin");
  auto birthday = parse(
      "UID:b\r\nDTSTART;VALUE=DATE:20200315\r\nDTEND;VALUE=DATE:20200316\r\n"
      "RRULE:FREQ=YEARLY\r\n");
  EXPECT_EQ(expand(birthday.get(), {}, "2024-03-01T00:00:00Z", "2024-04-01T00:00:00Z"),
            std::vector<std::string>{"+2024-03-14T23:00:00Z/2024-03-15T23:00:00Z"});
  // Across the spring clock change a day is still a calendar day (23 hours long).
  auto spring = parse("UID:c\r\nDTSTART;VALUE=DATE:20240331\r\nDTEND;VALUE=DATE:20240401\r\n");
  EXPECT_EQ(expand(spring.get(), {}, "2024-03-30T00:00:00Z", "2024-04-02T00:00:00Z"),
            std::vector<std::string>{"+2024-03-30T23:00:00Z/2024-03-31T22:00:00Z"});
}

TEST(EdsConversionTest, DueDatesResolveInTheirOwnZone) {
  LocalZone zone("Europe/Berlin");
  auto due = [](const char* lines) -> std::string {
    std::string ics = std::string("BEGIN:VTODO\r\nUID:t\r\n") + lines + "\r\nEND:VTODO\r\n";
    Component task(icalparser_parse_string(ics.c_str()), icalcomponent_free);
    std::optional<Instant> at = dueOf(task.get(), nullptr);
    return at ? text(*at) : "none";
  };
  EXPECT_EQ(due("DUE;VALUE=DATE:20240101"), "2023-12-31T23:00:00Z");
  EXPECT_EQ(due("DUE;TZID=America/New_York:20240502T093000"), "2024-05-02T13:30:00Z");
  EXPECT_EQ(due("DUE:20240502T093000Z"), "2024-05-02T09:30:00Z");
  EXPECT_EQ(due("DUE:20240502T093000"), "2024-05-02T07:30:00Z");
  // Without DUE, a start and a duration make the due time; a start alone makes none.
  EXPECT_EQ(due("DTSTART:20240502T093000Z\r\nDURATION:PT1H"), "2024-05-02T10:30:00Z");
  EXPECT_EQ(due("DTSTART;VALUE=DATE:20240502\r\nDURATION:P1D"), "2024-05-02T22:00:00Z");
  EXPECT_EQ(due("DTSTART:20240502T093000Z"), "none");
}

TEST(EdsConversionTest, QueriesAskForTheWindowWidenedByADay) {
  EXPECT_EQ(windowExpression("occur-in-time-range?", at("2024-05-01T10:00:00Z"),
                             at("2024-05-31T23:59:59Z")),
            "(occur-in-time-range? (make-time \"20240430T100000Z\") "
            "(make-time \"20240601T235959Z\"))");
  // Never past the years a request can name: EDS reads nothing from a five-digit year.
  EXPECT_EQ(windowExpression("due-in-time-range?", at("0000-01-01T10:00:00Z"),
                             at("9999-12-31T10:00:00Z")),
            "(due-in-time-range? (make-time \"00000101T000000Z\") "
            "(make-time \"99991231T235959Z\"))");
}

// A source that no longer exists is gone; any other failure leaves the service unavailable.
TEST(EdsConversionTest, ErrorsNamingARemovedSourceAreGone) {
  struct Row {
    GQuark domain;
    gint code;
    bool gone;
  };
  const Row rows[] = {
      {E_CAL_CLIENT_ERROR, E_CAL_CLIENT_ERROR_NO_SUCH_CALENDAR, true},
      {E_BOOK_CLIENT_ERROR, E_BOOK_CLIENT_ERROR_NO_SUCH_BOOK, true},
      {E_BOOK_CLIENT_ERROR, E_BOOK_CLIENT_ERROR_NO_SUCH_SOURCE, true},
      {G_IO_ERROR, G_IO_ERROR_NOT_FOUND, true},
      {E_CLIENT_ERROR, E_CLIENT_ERROR_BUSY, false},
      {E_CLIENT_ERROR, E_CLIENT_ERROR_REPOSITORY_OFFLINE, false},
      {G_IO_ERROR, G_IO_ERROR_CLOSED, false},
  };
  for (const Row& row : rows) {
    GError* error = g_error_new_literal(row.domain, row.code, "message");
    Status status = takeError(error, "fallback");
    EXPECT_EQ(error, nullptr);
    EXPECT_EQ(status.isGone(), row.gone) << g_quark_to_string(row.domain) << " " << row.code;
    EXPECT_EQ(status.isUnavailable(), !row.gone);
    EXPECT_EQ(status.text(), "message");
  }
  GError* none = nullptr;
  Status fallback = takeError(none, "fallback");
  EXPECT_TRUE(fallback.isUnavailable());
  EXPECT_EQ(fallback.text(), "fallback");
}

TEST(EdsConversionTest, RevisionFilterReportsOnlyNewValues) {
  RevisionFilter filter;
  EXPECT_FALSE(filter.changed("cal", "r1"));  // the first value is where it starts
  EXPECT_FALSE(filter.changed("cal", "r1"));  // another client opened the source
  EXPECT_TRUE(filter.changed("cal", "r2"));
  EXPECT_FALSE(filter.changed("cal", "r2"));
  EXPECT_FALSE(filter.changed("book", "r2"));  // sources are apart
  filter.forget("cal");
  EXPECT_FALSE(filter.changed("cal", "r3"));
}

TEST(EdsAccessTest, StatusComesFromTheNamesTheBusShows) {
  const std::set<std::string> all = {"org.gnome.evolution.dataserver.Sources5",
                                     "org.gnome.evolution.dataserver.Calendar8",
                                     "org.gnome.evolution.dataserver.AddressBook10"};
  EXPECT_EQ(accessOf(all, EdsService::calendar, false), Authorization::fullAccess);
  EXPECT_EQ(accessOf(all, EdsService::addressBook, true), Authorization::fullAccess);
  EXPECT_EQ(accessOf(std::nullopt, EdsService::calendar, false), Authorization::restricted);
  EXPECT_EQ(accessOf(std::nullopt, EdsService::calendar, true), Authorization::restricted);
  std::set<std::string> noBooks = all;
  noBooks.erase("org.gnome.evolution.dataserver.AddressBook10");
  EXPECT_EQ(accessOf(noBooks, EdsService::calendar, false), Authorization::fullAccess);
  EXPECT_EQ(accessOf(noBooks, EdsService::addressBook, false), Authorization::restricted);
  EXPECT_EQ(accessOf(noBooks, EdsService::addressBook, true), Authorization::denied);
  EXPECT_EQ(accessOf(std::set<std::string>{}, EdsService::calendar, true), Authorization::denied);
}

}  // namespace
}  // namespace pemrix::platform::eds

namespace pemrix {
namespace {

TEST(EdsWordingTest, FailuresNameTheDesktopNotMacos) {
  EXPECT_EQ(BridgeFailure::permissionRequired().message(),
            "Make this source available to Pemrix on your desktop before using it.");
  EXPECT_EQ(BridgeFailure::sourceUnavailable().message(),
            "The desktop's calendar and contacts service could not read the selected sources. "
            "Check that it is running and try again.");
  EXPECT_EQ(BridgeFailure::contactsSourceMissing().message(),
            "A selected address book is no longer available. Choose your sources again.");
  for (const BridgeFailure& failure :
       {BridgeFailure::timeout(), BridgeFailure::permissionRequired(),
        BridgeFailure::accessChanged(), BridgeFailure::contactsAccessChanged(),
        BridgeFailure::permissionUnavailable(), BridgeFailure::sourceUnavailable(),
        BridgeFailure::reminderListsUnavailable(), BridgeFailure::sourceMissing(),
        BridgeFailure::contactsSourceMissing()}) {
    EXPECT_EQ(failure.message().find("macOS"), std::string::npos) << failure.message();
  }
  EXPECT_EQ(wireName(BridgeFailure::sourceUnavailable().code()), "source_unavailable");
}

}  // namespace
}  // namespace pemrix
