// Event occurrences and due dates from KCalendarCore values, resolved by the wall-time rule.
#include "platform/akonadi/occurrences.h"

#include <algorithm>
#include <map>
#include <set>

#include <KCalendarCore/Recurrence>
#include <KCalendarCore/RecurrenceRule>
#include <QTimeZone>

#include "common/limits.h"
#include "platform/wall_time.h"

namespace pemrix::platform::akonadi {

namespace {

using std::chrono::days;
using std::chrono::local_days;
using std::chrono::local_seconds;
using std::chrono::seconds;
using std::chrono::sys_seconds;

UtcOffsetAt localOffsets() {
  return localZoneOffsetAt;
}

// The offsets of the zone `time` is stated in.
UtcOffsetAt offsetsOf(const QDateTime& time) {
  switch (time.timeSpec()) {
    case Qt::UTC:
      return [](sys_seconds) { return seconds(0); };
    case Qt::OffsetFromUTC: {
      const seconds fixed(time.offsetFromUtc());
      return [fixed](sys_seconds) { return fixed; };
    }
    case Qt::TimeZone: {
      const QTimeZone zone = time.timeZone();
      if (!zone.isValid()) return localOffsets();
      return [zone](sys_seconds at) {
        return seconds(zone.offsetFromUtc(
            QDateTime::fromSecsSinceEpoch(at.time_since_epoch().count(), Qt::UTC)));
      };
    }
    case Qt::LocalTime:
      break;
  }
  return localOffsets();
}

local_days dayOf(const QDate& date) {
  return local_days(std::chrono::year_month_day(std::chrono::year(date.year()),
                                                std::chrono::month(date.month()),
                                                std::chrono::day(date.day())));
}

// The date and time of day `time` shows, in no zone.
local_seconds wallClockOf(const QDateTime& time) {
  return dayOf(time.date()) + seconds(time.time().msecsSinceStartOfDay() / 1000);
}

QDateTime utcOf(Instant instant) {
  return QDateTime::fromSecsSinceEpoch(
      std::chrono::floor<seconds>(instant).time_since_epoch().count(), Qt::UTC);
}

// How long each occurrence lasts, never negative: calendar days on the wall clock of the
// event's zone, then exact seconds.
struct Length {
  int64_t days = 0;
  int64_t seconds = 0;
};

Length lengthOf(const KCalendarCore::Event& event) {
  Length length;
  if (event.allDay()) {
    // All-day ends are inclusive: an event on one day ends on that day.
    length.days = event.hasEndDate() ? event.dtStart().date().daysTo(event.dtEnd().date()) + 1 : 1;
  } else if (event.hasDuration() && event.duration().isDaily()) {
    length.days = event.duration().asDays();
  } else if (event.hasEndDate() || event.hasDuration()) {
    length.seconds = event.dtStart().secsTo(event.dtEnd());
  }
  if (length.days < 0 || length.seconds < 0) return Length{};
  return length;
}

// A slot: a wall time read in one zone.
struct Slot {
  local_seconds wall;
  UtcOffsetAt offsets;
};

// The slot `time` names for `event`: an all-day event's date at the user's midnight.
Slot slotOf(const KCalendarCore::Event& event, const QDateTime& time) {
  if (event.allDay()) return Slot{dayOf(time.date()), localOffsets()};
  return Slot{wallClockOf(time), offsetsOf(time)};
}

Instant instantOfSlot(const Slot& slot) {
  return Instant(instantOfWallTime(slot.wall, slot.offsets));
}

Occurrence occurrenceAt(const KCalendarCore::Event& event, const Slot& slot, const Length& length) {
  const Instant start = instantOfSlot(slot);
  Instant end = start;
  if (length.days > 0) end = instantOfSlot(Slot{slot.wall + days(length.days), slot.offsets});
  end += seconds(length.seconds);
  return Occurrence{start, end, event.allDay(), &event};
}

std::optional<Occurrence> spanOf(const KCalendarCore::Event& event) {
  if (!event.dtStart().date().isValid()) return std::nullopt;
  return occurrenceAt(event, slotOf(event, event.dtStart()), lengthOf(event));
}

// `time` as shown in the zone `like` is stated in (the slot of a series keeps its master's
// zone, whatever zone the expansion reports it in).
QDateTime inZoneOf(const QDateTime& time, const QDateTime& like) {
  switch (like.timeSpec()) {
    case Qt::UTC:
      return time.toUTC();
    case Qt::OffsetFromUTC:
      return time.toOffsetFromUtc(like.offsetFromUtc());
    case Qt::TimeZone:
      return time.toTimeZone(like.timeZone());
    case Qt::LocalTime:
      break;
  }
  return time.toLocalTime();
}

// The wall clock `time` shows in the zone of `like`, as a UTC value: a clock without
// gaps or repeats, on which recurrence rules step from wall time to wall time.
QDateTime wallClockAsUtc(const QDateTime& time, const QDateTime& like) {
  // A time that a clock change skips is invalid to Qt but still shows its fields.
  const QDateTime shown = time.isValid() ? inZoneOf(time, like) : time;
  return QDateTime(shown.date(), shown.time(), Qt::UTC);
}

// The master's recurrence moved onto its wall clock (wallClockAsUtc): KCalendarCore drops
// the slots a clock change skips when it expands in the zone itself.
KCalendarCore::Recurrence onWallClock(const KCalendarCore::Event& master) {
  const QDateTime start = master.dtStart();
  KCalendarCore::Recurrence wall(*master.recurrence());
  wall.setStartDateTime(wallClockAsUtc(start, start), false);
  for (const auto& rules : {wall.rRules(), wall.exRules()}) {
    for (KCalendarCore::RecurrenceRule* rule : rules) {
      rule->setStartDt(wallClockAsUtc(start, start));
      if (rule->duration() == 0 && rule->endDt().isValid()) {
        rule->setEndDt(wallClockAsUtc(rule->endDt(), start));
      }
    }
  }
  QList<QDateTime> moved;
  for (const QDateTime& time : wall.rDateTimes()) moved.append(wallClockAsUtc(time, start));
  wall.setRDateTimes(moved);
  moved.clear();
  for (const QDateTime& time : wall.exDateTimes()) moved.append(wallClockAsUtc(time, start));
  wall.setExDateTimes(moved);
  return wall;
}

void addSeries(const KCalendarCore::Event& master, const std::set<Instant>& replaced,
               TimeWindow window, std::vector<Occurrence>& out) {
  if (!master.dtStart().date().isValid()) return;
  const Length length = lengthOf(master);
  // A calendar day lasts at most 25 hours: a day more covers every clock change, and a
  // day either side covers any zone's offset.
  const auto reach = days(length.days + 1) + seconds(length.seconds) + days(1);
  const QList<QDateTime> times =
      master.allDay() ? master.recurrence()->timesInInterval(utcOf(window.start - reach),
                                                             utcOf(window.end + days(1)))
                      : onWallClock(master).timesInInterval(utcOf(window.start - reach),
                                                            utcOf(window.end + days(1)));
  std::map<Instant, Occurrence> kept;
  for (const QDateTime& time : times) {
    if (kept.size() >= limits::kMaxItems) break;
    // Timed slots come as wall clocks (onWallClock), read in the master's zone.
    const Slot slot = master.allDay() ? slotOf(master, time)
                                      : Slot{wallClockOf(time), offsetsOf(master.dtStart())};
    Occurrence occurrence = occurrenceAt(master, slot, length);
    if (replaced.contains(occurrence.start)) continue;
    if (!window.overlaps(occurrence.start, occurrence.end)) continue;
    kept.emplace(occurrence.start, occurrence);
  }
  for (const auto& [start, occurrence] : kept) out.push_back(occurrence);
}

}  // namespace

std::optional<Instant> instantOf(const QDateTime& time) {
  // A wall time that a clock change skips is invalid to Qt but still shows its fields.
  if (!time.date().isValid() || !time.time().isValid()) return std::nullopt;
  return Instant(instantOfWallTime(wallClockOf(time), offsetsOf(time)));
}

std::vector<Occurrence> occurrencesIn(const KCalendarCore::Event* master,
                                      const std::vector<const KCalendarCore::Event*>& moved,
                                      TimeWindow window) {
  std::vector<Occurrence> out;
  std::set<Instant> replaced;
  for (const KCalendarCore::Event* one : moved) {
    const QDateTime id = one->recurrenceId();
    if (!id.date().isValid()) continue;
    replaced.insert(one->allDay() ? instantOfSlot(slotOf(*one, id)) : *instantOf(id));
    std::optional<Occurrence> span = spanOf(*one);
    if (span && window.overlaps(span->start, span->end)) out.push_back(*span);
  }
  if (master == nullptr) return out;
  if (master->recurs()) {
    addSeries(*master, replaced, window, out);
  } else if (std::optional<Occurrence> span = spanOf(*master)) {
    if (window.overlaps(span->start, span->end)) out.push_back(*span);
  }
  return out;
}

std::optional<Instant> dueOf(const KCalendarCore::Todo& todo) {
  if (!todo.hasDueDate()) return std::nullopt;
  const QDateTime due = todo.dtDue(true);
  if (!due.date().isValid()) return std::nullopt;
  if (todo.allDay()) return Instant(instantOfWallTime(dayOf(due.date()), localOffsets()));
  return instantOf(due);
}

}  // namespace pemrix::platform::akonadi
