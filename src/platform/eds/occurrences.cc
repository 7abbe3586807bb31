// Recurrence expansion with libical's rule iterator over the wall-clock values of the
// event's own zone, each slot resolved by the wall-time rule, merged with RDATE, EXDATE and
// detached occurrences.
#include "platform/eds/occurrences.h"

#include <map>
#include <set>

#include "common/limits.h"
#include "platform/time_window.h"

namespace pemrix::platform::eds {

namespace {

using std::chrono::days;
using std::chrono::local_days;
using std::chrono::local_seconds;
using std::chrono::seconds;

constexpr int64_t kSecondsPerDay = 86400;

// How long each occurrence lasts, never negative: calendar days, counted on the wall clock
// of the event's zone so that a day stays a day across clock changes, then exact seconds.
// RFC 5545 makes the days and weeks of a DURATION nominal and its hours, minutes and
// seconds exact; an all-day event lasts whole days; a timed event's DTEND states an exact
// length.
struct Length {
  int64_t days = 0;
  int64_t seconds = 0;
};

std::optional<WallTime> startOf(icalcomponent* component, const ZoneLookup& lookup) {
  icalproperty* property = icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY);
  if (property == nullptr) return std::nullopt;
  return wallTimeOf(property, icalproperty_get_dtstart(property), lookup);
}

int64_t daysBetween(const icaltimetype& from, const icaltimetype& to) {
  return (std::chrono::floor<days>(wallClockOf(to)) - std::chrono::floor<days>(wallClockOf(from)))
      .count();
}

// The length DTEND or DURATION states, or the default one; negative when the end is stated
// before the start.
Length statedLength(icalcomponent* component, const WallTime& start, const ZoneLookup& lookup) {
  const bool allDay = start.value.is_date;
  if (icalproperty* end = icalcomponent_get_first_property(component, ICAL_DTEND_PROPERTY)) {
    std::optional<WallTime> until = wallTimeOf(end, icalproperty_get_dtend(end), lookup);
    if (until) {
      if (allDay) return {daysBetween(start.value, until->value), 0};
      std::optional<Instant> a = instantOf(start), b = instantOf(*until);
      if (a && b) return {0, std::chrono::duration_cast<seconds>(*b - *a).count()};
    }
  }
  if (icalproperty* span = icalcomponent_get_first_property(component, ICAL_DURATION_PROPERTY)) {
    const icaldurationtype stated = icalproperty_get_duration(span);
    const int64_t sign = stated.is_neg ? -1 : 1;
    const int64_t nominalDays = sign * (int64_t{stated.weeks} * 7 + stated.days);
    const int64_t exact = sign * (int64_t{stated.hours} * 3600 + int64_t{stated.minutes} * 60 +
                                  int64_t{stated.seconds});
    if (allDay) return {nominalDays + exact / kSecondsPerDay, 0};
    return {nominalDays, exact};
  }
  return allDay ? Length{1, 0} : Length{0, 0};
}

Length lengthOf(icalcomponent* component, const WallTime& start, const ZoneLookup& lookup) {
  Length length = statedLength(component, start, lookup);
  // An end before the start: it ends at its start.
  if (length.days < 0 || length.seconds < 0) return Length{};
  return length;
}

std::optional<Instant> endOf(const WallTime& start, Instant startInstant, const Length& length) {
  if (length.days == 0) return startInstant + seconds(length.seconds);
  WallTime end = start;
  end.value = icalTimeOf(wallClockOf(start.value) + days(length.days));
  end.value.is_date = start.value.is_date;
  end.value.zone = start.value.zone;
  std::optional<Instant> afterDays = instantOf(end);
  if (!afterDays) return std::nullopt;
  return *afterDays + seconds(length.seconds);
}

local_seconds asWallClock(Instant instant) {
  return local_seconds(std::chrono::floor<seconds>(instant).time_since_epoch());
}

// What a master's exclusions take away: the slots EXDATE names (every slot of the day for a
// DATE) and the slots that detached occurrences replace.
struct Exclusions {
  std::set<Instant> instants;
  std::set<local_days> dates;

  bool excludes(Instant at, const icaltimetype& wall) const {
    return instants.contains(at) || dates.contains(std::chrono::floor<days>(wallClockOf(wall)));
  }
};

Exclusions exclusionsOf(icalcomponent* master, const std::vector<icalcomponent*>& detached,
                        const ZoneLookup& lookup) {
  Exclusions out;
  for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_EXDATE_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(master, ICAL_EXDATE_PROPERTY)) {
    std::optional<WallTime> at = wallTimeOf(p, icalproperty_get_exdate(p), lookup);
    if (!at) continue;
    if (at->value.is_date) {
      out.dates.insert(std::chrono::floor<days>(wallClockOf(at->value)));
    } else if (std::optional<Instant> instant = instantOf(*at)) {
      out.instants.insert(*instant);
    }
  }
  for (icalcomponent* component : detached) {
    icalproperty* id = icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY);
    if (id == nullptr) continue;
    std::optional<WallTime> at = wallTimeOf(id, icalproperty_get_recurrenceid(id), lookup);
    if (!at) continue;
    if (std::optional<Instant> instant = instantOf(*at)) out.instants.insert(*instant);
  }
  return out;
}

// A UTC UNTIL bounds the instants of a series whose rule runs on wall-clock values: it
// leaves the rule and is applied to each slot's instant. Any other UNTIL is a wall time
// and stays, compared as one.
std::optional<Instant> takeUtcUntil(icalrecurrencetype& rule) {
  if (icaltime_is_null_time(rule.until)) return std::nullopt;
  std::optional<Instant> until;
  if (icaltime_is_utc(rule.until)) until = instantOf(WallTime{rule.until, nullptr});
  if (until) {
    rule.until = icaltime_null_time();
  } else {
    rule.until.zone = nullptr;
  }
  return until;
}

// The slots of a recurring master that overlap the window, by instant.
class SlotSet {
 public:
  SlotSet(const WallTime& start, const Length& length, Instant from, Instant to,
          Exclusions exclusions)
      : start_(start), length_(length), from_(from), to_(to), exclusions_(std::move(exclusions)) {}

  // Keeps the slot `wall` at `at` unless it is excluded or misses the window; true when
  // kept.
  bool add(const WallTime& wall, Instant at) {
    if (exclusions_.excludes(at, wall.value)) return false;
    std::optional<Instant> end = endOf(wall, at, length_);
    if (!end) return false;
    Occurrence occurrence{at, *end, wall.value.is_date != 0, nullptr};
    if (!overlaps(occurrence, from_, to_)) return false;
    return slots_.emplace(at, occurrence).second;
  }

  // The slots of one rule, from the wall time where the window can begin (unless COUNT
  // makes every step from DTSTART count) to the window's end, kMaxItems at most.
  void addRule(icalrecurrencetype rule) {
    std::optional<Instant> until = takeUtcUntil(rule);
    icaltimetype first = start_.value;
    first.zone = nullptr;  // wall-clock values, free of libical's own zone arithmetic
    icalrecur_iterator* it = icalrecur_iterator_new(rule, first);
    if (it == nullptr) return;
    local_seconds earliest = earliestWallClock();
    if (rule.count == 0 && earliest > wallClockOf(first)) {
      icaltimetype skip =
          first.is_date ? icalTimeOf(std::chrono::floor<days>(earliest)) : icalTimeOf(earliest);
      skip.is_date = first.is_date;
      icalrecur_iterator_set_start(it, skip);
    }
    // No wall time past a day after an instant names an earlier instant.
    local_seconds last = asWallClock(until ? std::min(*until, to_) : to_) + days(1);
    walk(it, earliest, last, until);
    icalrecur_iterator_free(it);
  }

  const std::map<Instant, Occurrence>& slots() const { return slots_; }

 private:
  void walk(icalrecur_iterator* it, local_seconds earliest, local_seconds last,
            std::optional<Instant> until) {
    std::size_t kept = 0;
    for (int step = 0; step < kMaxRecurrenceSteps && kept < limits::kMaxItems; ++step) {
      icaltimetype next = icalrecur_iterator_next(it);
      if (icaltime_is_null_time(next)) return;
      local_seconds wall = wallClockOf(next);
      if (wall > last) return;
      if (wall < earliest) continue;
      WallTime slot{next, start_.zone};
      slot.value.zone = start_.value.zone;
      std::optional<Instant> at = instantOf(slot);
      if (!at) return;
      if (until && *at > *until) continue;
      if (add(slot, *at)) ++kept;
    }
  }

  // No wall time before this one names an instant whose occurrence reaches the window.
  local_seconds earliestWallClock() const {
    // A calendar day lasts at most 25 hours: a day more covers every clock change.
    int64_t span = (length_.days > 0 ? (length_.days + 1) * kSecondsPerDay : 0) + length_.seconds;
    auto reach = std::chrono::floor<seconds>(from_ - seconds(span));
    if (start_.utc()) return local_seconds(reach.time_since_epoch());
    return earliestWallTimeReaching(reach, offsetsOf(start_));
  }

  WallTime start_;
  Length length_;
  Instant from_, to_;
  Exclusions exclusions_;
  std::map<Instant, Occurrence> slots_;
};

void addRecurrences(SlotSet& slots, icalcomponent* master, const WallTime& start,
                    const ZoneLookup& lookup) {
  for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(master, ICAL_RRULE_PROPERTY)) {
    slots.addRule(icalproperty_get_rrule(p));
  }
  for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_RDATE_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(master, ICAL_RDATE_PROPERTY)) {
    icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
    icaltimetype value = icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
    std::optional<WallTime> at = wallTimeOf(p, value, lookup);
    std::optional<Instant> instant = at ? instantOf(*at) : std::nullopt;
    if (!instant) continue;
    // Stated in a zone of its own, perhaps; the slot keeps the master's zone.
    WallTime slot = start;
    slot.value = wallTimeAt(*instant, start);
    slot.value.is_date = start.value.is_date;
    slots.add(slot, *instant);
  }
}

void addMaster(std::vector<Occurrence>& out, icalcomponent* master,
               const std::vector<icalcomponent*>& detached, Instant from, Instant to,
               const ZoneLookup& lookup) {
  std::optional<WallTime> start = startOf(master, lookup);
  if (!start) return;
  SlotSet slots(*start, lengthOf(master, *start, lookup), from, to,
                exclusionsOf(master, detached, lookup));
  if (std::optional<Instant> at = instantOf(*start)) slots.add(*start, *at);
  if (recurs(master)) addRecurrences(slots, master, *start, lookup);
  for (const auto& [instant, occurrence] : slots.slots()) {
    out.push_back(occurrence);
    out.back().component = master;
  }
}

}  // namespace

bool recurs(icalcomponent* component) {
  return icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY) != nullptr ||
         icalcomponent_get_first_property(component, ICAL_RDATE_PROPERTY) != nullptr;
}

bool overlaps(const Occurrence& occurrence, Instant from, Instant to) {
  return TimeWindow{from, to}.overlaps(occurrence.start, occurrence.end);
}

std::optional<Occurrence> spanOf(icalcomponent* component, const ZoneLookup& lookup) {
  std::optional<WallTime> start = startOf(component, lookup);
  if (!start) return std::nullopt;
  std::optional<Instant> at = instantOf(*start);
  if (!at) return std::nullopt;
  std::optional<Instant> end = endOf(*start, *at, lengthOf(component, *start, lookup));
  if (!end) return std::nullopt;
  return Occurrence{*at, *end, start->value.is_date != 0, component};
}

std::optional<Instant> dueOf(icalcomponent* task, const ZoneLookup& lookup) {
  if (icalproperty* due = icalcomponent_get_first_property(task, ICAL_DUE_PROPERTY)) {
    std::optional<WallTime> at = wallTimeOf(due, icalproperty_get_due(due), lookup);
    return at ? instantOf(*at) : std::nullopt;
  }
  if (icalcomponent_get_first_property(task, ICAL_DURATION_PROPERTY) == nullptr) {
    return std::nullopt;
  }
  std::optional<Occurrence> span = spanOf(task, lookup);
  return span ? std::optional<Instant>(span->end) : std::nullopt;
}

std::vector<Occurrence> occurrencesIn(icalcomponent* master,
                                      const std::vector<icalcomponent*>& detached, Instant from,
                                      Instant to, const ZoneLookup& lookup) {
  std::vector<Occurrence> out;
  if (master != nullptr) addMaster(out, master, detached, from, to, lookup);
  for (icalcomponent* component : detached) {
    std::optional<Occurrence> span = spanOf(component, lookup);
    if (span && overlaps(*span, from, to)) out.push_back(*span);
  }
  return out;
}

}  // namespace pemrix::platform::eds
