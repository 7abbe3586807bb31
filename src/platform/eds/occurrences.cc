// Recurrence expansion with libical's rule iterator, in the wall time of the event's own
// zone, merged with RDATE, EXDATE and detached occurrences.
#include "platform/eds/occurrences.h"

#include <map>
#include <set>

namespace pemrix::platform::eds {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// How long each occurrence lasts: whole days in wall time for all-day events (so that a
// day stays a day across clock changes), exact seconds otherwise.
struct Length {
  bool inDays = false;
  int64_t amount = 0;
};

std::optional<WallTime> startOf(icalcomponent* component, const ZoneLookup& lookup) {
  icalproperty* property = icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY);
  if (property == nullptr) return std::nullopt;
  return wallTimeOf(property, icalproperty_get_dtstart(property), lookup);
}

int64_t daysBetween(const icaltimetype& from, const icaltimetype& to) {
  icaltimetype a = from, b = to;
  a.is_date = b.is_date = 1;
  a.zone = b.zone = nullptr;
  return (icaltime_as_timet(b) - icaltime_as_timet(a)) / kSecondsPerDay;
}

Length lengthOf(icalcomponent* component, const WallTime& start, const ZoneLookup& lookup) {
  const bool allDay = start.value.is_date;
  if (icalproperty* end = icalcomponent_get_first_property(component, ICAL_DTEND_PROPERTY)) {
    std::optional<WallTime> until = wallTimeOf(end, icalproperty_get_dtend(end), lookup);
    if (until) {
      if (allDay) return {true, daysBetween(start.value, until->value)};
      std::optional<Instant> a = instantOf(start), b = instantOf(*until);
      if (a && b) return {false, std::chrono::duration_cast<std::chrono::seconds>(*b - *a).count()};
    }
  }
  if (icalproperty* span = icalcomponent_get_first_property(component, ICAL_DURATION_PROPERTY)) {
    icaldurationtype duration = icalproperty_get_duration(span);
    int64_t seconds = icaldurationtype_as_int(duration);
    if (allDay) return {true, seconds / kSecondsPerDay};
    return {false, seconds};
  }
  return allDay ? Length{true, 1} : Length{false, 0};
}

std::optional<Instant> endOf(const WallTime& start, Instant startInstant, const Length& length) {
  if (!length.inDays) return startInstant + std::chrono::seconds(length.amount);
  WallTime end = start;
  icaldurationtype days = icaldurationtype_null_duration();
  days.days = static_cast<unsigned int>(length.amount < 0 ? -length.amount : length.amount);
  days.is_neg = length.amount < 0;
  end.value = icaltime_add(start.value, days);
  return instantOf(end);
}

bool overlaps(const Occurrence& occurrence, Instant from, Instant to) {
  return occurrence.start < to && occurrence.end > from;
}

// The slots of a recurring master: wall time by instant, from DTSTART, every RRULE and
// every RDATE, up to `to`.
class SlotSet {
 public:
  SlotSet(const WallTime& start, const Length& length, Instant from, Instant to)
      : start_(start), length_(length), from_(from), to_(to) {}

  void add(const icaltimetype& value) {
    WallTime slot{value, start_.zone};
    slot.value.zone = start_.value.zone;
    std::optional<Instant> at = instantOf(slot);
    if (at) slots_.emplace(*at, slot);
  }

  void addRule(icalrecurrencetype rule) {
    icalrecur_iterator* it = icalrecur_iterator_new(rule, start_.value);
    if (it == nullptr) return;
    // Without a COUNT the iterator can skip ahead to the window, minus one occurrence's
    // length and a day of margin for clock changes.
    std::optional<Instant> first = instantOf(start_);
    Instant earliest = from_ - std::chrono::seconds(lengthSeconds() + kSecondsPerDay);
    if (rule.count == 0 && first && earliest > *first) {
      icaltimetype skip = wallTimeAt(earliest, start_);
      skip.is_date = start_.value.is_date;
      icalrecur_iterator_set_start(it, skip);
    }
    for (int step = 0; step < kMaxRecurrenceSteps; ++step) {
      icaltimetype next = icalrecur_iterator_next(it);
      if (icaltime_is_null_time(next)) break;
      WallTime slot{next, start_.zone};
      std::optional<Instant> at = instantOf(slot);
      if (!at) break;
      if (*at >= to_) break;
      slots_.emplace(*at, slot);
    }
    icalrecur_iterator_free(it);
  }

  void addInstant(Instant instant) {
    WallTime slot = start_;
    slot.value = wallTimeAt(instant, start_);
    slot.value.is_date = start_.value.is_date;
    slots_.emplace(instant, slot);
  }

  // Removes the slot at `instant`, and every slot on the date of `date` when it is a DATE.
  void remove(Instant instant) { slots_.erase(instant); }
  void removeDate(const icaltimetype& date) {
    for (auto it = slots_.begin(); it != slots_.end();) {
      const icaltimetype& v = it->second.value;
      bool same = v.year == date.year && v.month == date.month && v.day == date.day;
      it = same ? slots_.erase(it) : std::next(it);
    }
  }

  const std::map<Instant, WallTime>& slots() const { return slots_; }

 private:
  int64_t lengthSeconds() const {
    int64_t amount = length_.inDays ? length_.amount * kSecondsPerDay : length_.amount;
    return amount < 0 ? 0 : amount;
  }

  WallTime start_;
  Length length_;
  Instant from_, to_;
  std::map<Instant, WallTime> slots_;
};

bool recurs(icalcomponent* component) {
  return icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY) != nullptr ||
         icalcomponent_get_first_property(component, ICAL_RDATE_PROPERTY) != nullptr;
}

void addRecurrences(SlotSet& slots, icalcomponent* master, const ZoneLookup& lookup) {
  for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_RRULE_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(master, ICAL_RRULE_PROPERTY)) {
    slots.addRule(icalproperty_get_rrule(p));
  }
  for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_RDATE_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(master, ICAL_RDATE_PROPERTY)) {
    icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
    icaltimetype value = icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
    std::optional<WallTime> at = wallTimeOf(p, value, lookup);
    if (!at) continue;
    // Stated in a zone of its own, perhaps; the slot keeps the master's zone.
    if (std::optional<Instant> instant = instantOf(*at)) slots.addInstant(*instant);
  }
  for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_EXDATE_PROPERTY);
       p != nullptr; p = icalcomponent_get_next_property(master, ICAL_EXDATE_PROPERTY)) {
    std::optional<WallTime> at = wallTimeOf(p, icalproperty_get_exdate(p), lookup);
    if (!at) continue;
    if (at->value.is_date) {
      slots.removeDate(at->value);
    } else if (std::optional<Instant> instant = instantOf(*at)) {
      slots.remove(*instant);
    }
  }
}

// The instants of the slots that detached occurrences replace.
std::set<Instant> replacedSlots(const std::vector<icalcomponent*>& detached,
                                const ZoneLookup& lookup) {
  std::set<Instant> replaced;
  for (icalcomponent* component : detached) {
    icalproperty* id = icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY);
    if (id == nullptr) continue;
    std::optional<WallTime> at = wallTimeOf(id, icalproperty_get_recurrenceid(id), lookup);
    if (!at) continue;
    if (std::optional<Instant> instant = instantOf(*at)) replaced.insert(*instant);
  }
  return replaced;
}

void addMaster(std::vector<Occurrence>& out, icalcomponent* master,
               const std::vector<icalcomponent*>& detached, Instant from, Instant to,
               const ZoneLookup& lookup) {
  std::optional<WallTime> start = startOf(master, lookup);
  if (!start) return;
  Length length = lengthOf(master, *start, lookup);
  SlotSet slots(*start, length, from, to);
  slots.add(start->value);
  if (recurs(master)) addRecurrences(slots, master, lookup);
  std::set<Instant> replaced = replacedSlots(detached, lookup);
  for (const auto& [instant, wall] : slots.slots()) {
    if (replaced.contains(instant)) continue;
    std::optional<Instant> end = endOf(wall, instant, length);
    if (!end) continue;
    Occurrence occurrence{instant, *end, wall.value.is_date != 0, master};
    if (overlaps(occurrence, from, to)) out.push_back(occurrence);
  }
}

}  // namespace

std::optional<Occurrence> spanOf(icalcomponent* component, const ZoneLookup& lookup) {
  std::optional<WallTime> start = startOf(component, lookup);
  if (!start) return std::nullopt;
  std::optional<Instant> at = instantOf(*start);
  if (!at) return std::nullopt;
  std::optional<Instant> end = endOf(*start, *at, lengthOf(component, *start, lookup));
  if (!end) return std::nullopt;
  return Occurrence{*at, *end, start->value.is_date != 0, component};
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
