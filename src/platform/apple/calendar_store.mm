// The calendar store on macOS: EventKit's EKEventStore, translated to the plain records of
// the calendar store interface. Only translation happens here; every rule of the bridge
// (filtering, limits, order, clipping, permission states) lives in the portable stores.
//
// A store that was used while an entity type was not readable keeps serving that old, empty
// view after access is granted, whether through the bridge's own request or in System
// Settings. So the store remembers the status each type had when it last served it, and
// resets itself when that status has changed. The check runs on the stores' queue at the
// start of each use, in `calendars`: every use of the store begins there. A reset invalidates
// every object fetched before it, so each read looks up the calendars it names itself, by
// identifier (an identifier the store no longer finds reads as gone).
//
// The Mac's time zone is read again at the start of each use too (see `refreshZone`): EventKit
// gives all-day events in the process's default zone, and due dates are resolved here in the
// same zone (see `dueInstant`), so that one process answers each event and reminder in the
// zone the Mac has now.
//
// EventKit keeps a due date without a time of day at midnight UTC (and one without a zone at
// its time of day in UTC) and its reminder predicate tests that stored instant: the fetch asks
// for the window widened by kServiceWindowMargin on each side, and the adapter keeps exactly
// the reminders due in the window (TimeWindow), as it keeps exactly the events overlapping it.
// The fetch is asynchronous in EventKit; the read waits for it and walks the fetched
// reminders on the calling thread, converting each only when its turn comes.
//
// Failures: every EventKit call that can raise runs inside `caught`, and an Objective-C
// exception becomes an unavailable Status. Blocks that EventKit calls never let an exception
// unwind through EventKit: they catch it, stop the enumeration, and what the stores' visitor
// threw is rethrown once EventKit has returned.
#include "platform/calendar_store.h"

#import <EventKit/EventKit.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include <exception>
#include <utility>

#include "common/limits.h"
#include "platform/apple/apple_authorization.h"
#include "platform/apple/apple_conversions.h"
#include "platform/apple/apple_system.h"
#include "platform/apple/grant_settling.h"
#include "platform/apple/objc_values.h"
#include "platform/apple/os_version.h"

namespace pemrix::platform {

namespace {

EKEntityType entityTypeOf(CalendarEntityType type) {
  return type == CalendarEntityType::events ? EKEntityTypeEvent : EKEntityTypeReminder;
}

// Full access: 3, named EKAuthorizationStatusAuthorized before macOS 14.
constexpr EKAuthorizationStatus kFullAccess = static_cast<EKAuthorizationStatus>(3);

// How long a read waits, at most, for EventKit to complete a reminder fetch: as long as the
// request may run. A fetch that has not completed by then fails as unavailable.
constexpr double kReminderFetchWaitSeconds = limits::kRequestAllowance;

// The status of `type`; -1 (reported as "unknown") if EventKit raised.
NSInteger statusOf(EKEntityType type) {
  @try {
    return [EKEventStore authorizationStatusForEntityType:type];
  } @catch (NSException*) {
    return -1;
  }
}

// The completion handed to EventKit for an access request. EventKit has been seen to report
// a grant while the status still reads the old state ("not determined", or "write only" when
// full access was asked for) for a short moment; the completion then waits on EventKit's
// thread for the status to read full access (grant_settling.h), so that the state the stores
// read afterwards is the granted one. Every request the bridge makes asks for read access, which is
// full access on every system.
EKEventStoreRequestAccessCompletionHandler accessHandler(EKEntityType type,
                                                         AccessCompletion completion) {
  return ^(BOOL granted, NSError* _Nullable error) {
    @autoreleasepool {
      if (granted) waitForGrantToSettle([type] { return statusOf(type) == kFullAccess; });
      (void)caught([&] { completion(statusOfError(error)); });
    }
  };
}

// Makes an access request, or, when EventKit raises instead, reports the failure as an
// access error from another thread, as EventKit would have.
template <typename Request>
void requestGuarded(Request request, AccessCompletion completion) {
  std::exception_ptr failed = caught(request);
  if (!failed) return;
  dispatch_async(dispatch_get_global_queue(QOS_CLASS_UTILITY, 0), ^{
    @autoreleasepool {
      (void)caught([&] { completion(raisedStatus(failed)); });
    }
  });
}

// Puts the calendars with the identifiers `ids` in `out`, in that order; gone when the store
// no longer finds one of them.
Status calendarsNamed(EKEventStore* store, const std::vector<std::string>& ids,
                      NSArray<EKCalendar*>* _Nullable* _Nonnull out) {
  NSMutableArray<EKCalendar*>* calendars = [NSMutableArray arrayWithCapacity:ids.size()];
  for (const std::string& id : ids) {
    EKCalendar* calendar = [store calendarWithIdentifier:nsString(id)];
    if (calendar == nil) return Status::gone("EventKit has no calendar " + id + ".");
    [calendars addObject:calendar];
  }
  *out = calendars;
  return Status();
}

EventRecord eventRecord(EKEvent* event) {
  EKCalendar* calendar = event.calendar;
  return EventRecord{calendar != nil ? optionalUtf8(calendar.calendarIdentifier) : std::nullopt,
                     instantOf(event.startDate),
                     instantOf(event.endDate),
                     utf8(event.calendarItemIdentifier),
                     optionalUtf8(event.title),
                     event.allDay != NO};
}

// Drops Foundation's cached system zone, which it otherwise keeps for the life of the
// process: the next read of the system zone, and of the default zone (which the bridge never
// sets, so it follows the system zone and is dropped with it), reads the zone the Mac has
// now. A user who travels, or changes the zone in System Settings, sees all-day events and
// floating due dates in the new zone from the next request on.
void refreshZone() {
  [NSTimeZone resetSystemTimeZone];
}

// The instant of a reminder's due-date components. EventKit keeps them as Gregorian fields
// (read in another calendar only when they name one of their own) and keeps a date without a
// time of day at midnight UTC, while it means that day wherever the user is: so a date alone
// is midnight in `userZone`, and a time of day is read in the components' own zone when they
// carry one, else in `userZone`. The calendar and zone objects attached to the components
// are never used as they are: they hold whatever zone they were made with. Nothing without
// year, month and day.
std::optional<Instant> dueInstant(NSDateComponents* due, NSTimeZone* userZone) {
  std::optional<int64_t> year = dateComponentValue(due.year);
  std::optional<int64_t> month = dateComponentValue(due.month);
  std::optional<int64_t> day = dateComponentValue(due.day);
  if (!year || !month || !day) return std::nullopt;
  NSCalendar* own = due.calendar;
  NSCalendar* calendar = [NSCalendar
      calendarWithIdentifier:own != nil ? own.calendarIdentifier : NSCalendarIdentifierGregorian];
  if (calendar == nil) return std::nullopt;
  NSDateComponents* fields = [[NSDateComponents alloc] init];
  fields.year = due.year;
  fields.month = due.month;
  fields.day = due.day;
  const bool timeOfDay = dateComponentValue(due.hour).has_value();
  if (timeOfDay) {
    fields.hour = due.hour;
    if (dateComponentValue(due.minute)) fields.minute = due.minute;
    if (dateComponentValue(due.second)) fields.second = due.second;
  }
  calendar.timeZone = timeOfDay && due.timeZone != nil ? due.timeZone : userZone;
  return instantOf([calendar dateFromComponents:fields]);
}

ReminderRecord reminderRecord(EKReminder* reminder, NSTimeZone* userZone) {
  EKCalendar* list = reminder.calendar;
  NSDateComponents* components = reminder.dueDateComponents;
  ReminderRecord record;
  record.calendarIdentifier = list != nil ? optionalUtf8(list.calendarIdentifier) : std::nullopt;
  record.itemIdentifier = utf8(reminder.calendarItemIdentifier);
  record.title = optionalUtf8(reminder.title);
  record.completed = reminder.completed != NO;
  if (components != nil) record.due = dueInstant(components, userZone);
  record.priority = static_cast<int64_t>(reminder.priority);
  return record;
}

// Visits the reminders of `reminders` due in `window`, in order, converting each into a
// record only when its turn comes. A conversion that raised ends the walk with its failure;
// what the visitor throws leaves it.
Status walkReminders(NSArray<EKReminder*>* reminders, const TimeWindow& window,
                     const ReminderVisitor& visitor) {
  // The Mac's zone, as read again when this use began (`calendarsFor`): the zone that
  // EventKit's all-day events of the same moment are in.
  NSTimeZone* userZone = nil;
  if (std::exception_ptr raised = caught([&] { userZone = [NSTimeZone systemTimeZone]; })) {
    return raisedStatus(raised);
  }
  for (EKReminder* reminder in reminders) {
    bool stop = false;
    @autoreleasepool {
      ReminderRecord record;
      std::exception_ptr raised = caught([&] { record = reminderRecord(reminder, userZone); });
      if (raised) return raisedStatus(raised);
      if (record.completed || !record.due || !window.contains(*record.due)) continue;
      visitor(record, stop);
    }
    if (stop) break;
  }
  return Status();
}

// Fetches the reminders `predicate` selects and waits for EventKit's completion, at most
// kReminderFetchWaitSeconds; puts the fetched array in `out`. A completion that delivers no
// array fails as Status::noResult. The completion may still come after the wait gave up: it
// writes only to storage that the block itself keeps alive.
Status fetchReminders(EKEventStore* store, NSPredicate* predicate,
                      NSArray<EKReminder*>* _Nullable* _Nonnull out) {
  __block NSArray<EKReminder*>* delivered = nil;
  dispatch_semaphore_t completed = dispatch_semaphore_create(0);
  [store fetchRemindersMatchingPredicate:predicate
                              completion:^(NSArray<EKReminder*>* _Nullable reminders) {
                                delivered = reminders;
                                dispatch_semaphore_signal(completed);
                              }];
  const auto wait = static_cast<int64_t>(kReminderFetchWaitSeconds * NSEC_PER_SEC);
  if (dispatch_semaphore_wait(completed, dispatch_time(DISPATCH_TIME_NOW, wait)) != 0) {
    return Status::unavailable("EventKit did not complete the reminder fetch.");
  }
  if (delivered == nil) return Status::noResult("EventKit fetched no reminders.");
  *out = delivered;
  return Status();
}

}  // namespace

class AppleCalendarStore final : public CalendarStore {
 public:
  struct Impl;
  explicit AppleCalendarStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
  ~AppleCalendarStore() override = default;

  void requestAccess(CalendarEntityType type, AccessCompletion completion) override;
  Status calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) override;
  Status enumerateEvents(Instant start, Instant end, const std::vector<std::string>& calendarIds,
                         const EventVisitor& visitor) override;
  Status enumerateIncompleteReminders(Instant start, Instant end,
                                      const std::vector<std::string>& listIds,
                                      const ReminderVisitor& visitor) override;
  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override;

 private:
  std::unique_ptr<Impl> impl_;
};

struct AppleCalendarStore::Impl {
  // Resets the store when access to `type` changed since the store last served it, so
  // that it sees the data access now allows. Stores' queue only.
  void refreshFor(EKEntityType type) {
    const EKAuthorizationStatus now = [EKEventStore authorizationStatusForEntityType:type];
    EKAuthorizationStatus& before = served[type == EKEntityTypeEvent ? 0 : 1];
    if (now != before) [store reset];
    before = now;
  }

  // Every use of the store (listing, events, reminders) begins here.
  NSArray<EKCalendar*>* calendarsFor(EKEntityType type) {
    refreshZone();
    refreshFor(type);
    NSArray<EKCalendar*>* found = [store calendarsForEntityType:type];
    // A reset that came before EventKit had taken a new grant leaves the store serving the
    // old, empty view, and nothing would reset it again. With full access, no calendar at
    // all is that case far more often than a user without calendars: reset and read again.
    if (found.count == 0 && served[type == EKEntityTypeEvent ? 0 : 1] == kFullAccess) {
      [store reset];
      found = [store calendarsForEntityType:type];
    }
    return found;
  }

  EKEventStore* store = [[EKEventStore alloc] init];
  // The status of events and of reminders when the store last served them; "not
  // determined" until then, so that a store created before a grant is reset at first use.
  EKAuthorizationStatus served[2] = {EKAuthorizationStatusNotDetermined,
                                     EKAuthorizationStatusNotDetermined};
};

Authorization AppleSystem::calendarAuthorization(CalendarEntityType type) {
  return authorizationFromEventKit(statusOf(entityTypeOf(type)));
}

Status AppleSystem::openCalendarStore(std::unique_ptr<CalendarStore>* store) {
  std::unique_ptr<AppleCalendarStore::Impl> impl;
  if (std::exception_ptr raised =
          caught([&] { impl = std::make_unique<AppleCalendarStore::Impl>(); })) {
    return raisedStatus(raised);
  }
  *store = std::make_unique<AppleCalendarStore>(std::move(impl));
  return Status();
}

void AppleCalendarStore::requestAccess(CalendarEntityType type, AccessCompletion completion) {
  EKEventStore* store = impl_->store;
  const EKEntityType entityType = entityTypeOf(type);
  const EventKitAccessCall call = eventKitAccessCall(runningOsVersion(), type);
  auto handler = accessHandler(entityType, completion);
  requestGuarded(
      [&] {
        if (@available(macOS 14.0, *)) {
          if (call == EventKitAccessCall::fullAccessToEvents) {
            [store requestFullAccessToEventsWithCompletion:handler];
            return;
          }
          if (call == EventKitAccessCall::fullAccessToReminders) {
            [store requestFullAccessToRemindersWithCompletion:handler];
            return;
          }
        }
        [store requestAccessToEntityType:entityType completion:handler];
      },
      std::move(completion));
}

Status AppleCalendarStore::calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) {
  @autoreleasepool {
    std::exception_ptr raised = caught([&] {
      for (EKCalendar* calendar in impl_->calendarsFor(entityTypeOf(type))) {
        out->push_back(CalendarInfo{utf8(calendar.calendarIdentifier), utf8(calendar.title)});
      }
    });
    if (raised) return raisedStatus(raised);
    return Status();
  }
}

Status AppleCalendarStore::enumerateEvents(Instant start, Instant end,
                                           const std::vector<std::string>& calendarIds,
                                           const EventVisitor& visitor) {
  std::exception_ptr failed;
  std::exception_ptr raised;
  std::exception_ptr thrown;
  @autoreleasepool {
    EKEventStore* store = impl_->store;
    NSArray<EKCalendar*>* selected = nil;
    Status named;
    if ((failed = caught([&] { named = calendarsNamed(store, calendarIds, &selected); }))) {
      return raisedStatus(failed);
    }
    if (!named.ok()) return named;
    // EventKit reads a missing list as "every calendar"; here no calendar selects nothing.
    if (selected.count == 0) return Status();
    // EventKit declares the block escaping but calls it only during the call, on this
    // thread, so it may refer to state on this stack. Once the block has set the stop flag
    // it ignores later calls, as the interface promises.
    const TimeWindow window{start, end};
    const TimeWindow* exact = &window;
    Enumeration<EventVisitor> state(visitor);
    Enumeration<EventVisitor>* enumeration = &state;
    failed = caught([&] {
      NSPredicate* predicate = [store predicateForEventsWithStartDate:nsDate(start)
                                                              endDate:nsDate(end)
                                                            calendars:selected];
      [store enumerateEventsMatchingPredicate:predicate
                                   usingBlock:^(EKEvent* event, BOOL* stop) {
                                     enumeration->visitIf([&] { return eventRecord(event); },
                                                          [&](const EventRecord& record) {
                                                            return record.start && record.end &&
                                                                   exact->overlaps(*record.start,
                                                                                   *record.end);
                                                          });
                                     if (enumeration->stopped) *stop = YES;
                                   }];
    });
    raised = state.raised;
    thrown = state.thrown;
  }
  // What the visitor threw comes first: it is what stopped the enumeration.
  if (thrown) std::rethrow_exception(thrown);
  if (raised) return raisedStatus(raised);
  if (failed) return raisedStatus(failed);
  return Status();
}

Status AppleCalendarStore::enumerateIncompleteReminders(Instant start, Instant end,
                                                        const std::vector<std::string>& listIds,
                                                        const ReminderVisitor& visitor) {
  @autoreleasepool {
    EKEventStore* store = impl_->store;
    const TimeWindow window{start, end};
    NSArray<EKReminder*>* reminders = nil;
    Status status;
    std::exception_ptr raised = caught([&] {
      NSArray<EKCalendar*>* selected = nil;
      status = calendarsNamed(store, listIds, &selected);
      // EventKit reads a missing list as "every list"; here no list selects nothing.
      if (!status.ok() || selected.count == 0) return;
      const TimeWindow asked = window.widened();
      NSPredicate* predicate =
          [store predicateForIncompleteRemindersWithDueDateStarting:nsDate(asked.start)
                                                             ending:nsDate(asked.end)
                                                          calendars:selected];
      status = fetchReminders(store, predicate, &reminders);
    });
    if (raised) return raisedStatus(raised);
    if (!status.ok() || reminders == nil) return status;
    return walkReminders(reminders, window, visitor);
  }
}

Status AppleCalendarStore::observeChanges(std::function<void()> onChange, ObserverToken* token) {
  std::exception_ptr raised = caught([&] {
    *token =
        observeNotification(EKEventStoreChangedNotification, impl_->store, std::move(onChange));
  });
  if (raised) return raisedStatus(raised);
  return Status();
}

}  // namespace pemrix::platform
