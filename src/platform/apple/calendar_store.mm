// The calendar store on macOS: EventKit's EKEventStore, translated to the plain records of
// the calendar store interface. Only translation happens here; every rule of the bridge
// (filtering, limits, order, clipping, permission states) lives in the portable stores.
//
// A store that was used while an entity type was not readable keeps serving that old, empty
// view after access is granted, whether through the bridge's own request or in System
// Settings. So the store remembers the status each type had when it last served it, and
// resets itself when that status has changed. The check runs on the stores' queue at the
// start of each use, in `calendars`: every use of the store begins there, and a reset
// invalidates every object fetched before it, so it must never fall between fetching
// calendars and using them in a predicate.
//
// The Mac's time zone is read again at the start of each use too (see `refreshZone`): EventKit
// gives all-day events in the process's default zone, and due dates are resolved here in the
// same zone (see `dueInstant`), so that one process answers each event and reminder in the
// zone the Mac has now.
//
// EventKit keeps a due date without a time of day at midnight UTC (and one without a zone at
// its time of day in UTC) and its reminder predicate tests that stored instant: the fetch asks
// for the window widened by kServiceWindowMargin on each side, and the stores cut it exactly.
//
// Failures: every EventKit call that can raise runs inside `caught`, and an Objective-C
// exception becomes the call's PlatformError. Blocks that EventKit calls never let an
// exception unwind through EventKit: they catch it, stop the enumeration, and what the
// stores' visitor threw is rethrown once EventKit has returned.
#include "platform/calendar_store.h"

#import <EventKit/EventKit.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include <exception>
#include <utility>

#include "platform/apple/apple_authorization.h"
#include "platform/apple/apple_conversions.h"
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
      (void)caught([&] { completion(platformError(error)); });
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
      (void)caught([&] { completion(raisedError(failed)); });
    }
  });
}

// The calendars of `infos` that came from this store, in order.
NSArray<EKCalendar*>* calendarArray(const std::vector<CalendarInfo>& infos) {
  NSMutableArray<EKCalendar*>* calendars = [NSMutableArray arrayWithCapacity:infos.size()];
  for (const CalendarInfo& info : infos) {
    EKCalendar* calendar = objectOf(info.handle);
    if (calendar != nil) [calendars addObject:calendar];
  }
  return calendars;
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

// Visits `reminders` in order, converting each into a record only when its turn comes. Runs
// on EventKit's thread inside the fetch completion. A conversion that raised ends the walk
// with its error; what the visitor throws leaves it for the completion's caller to handle.
PlatformStatus walkReminders(NSArray<EKReminder*>* reminders, const ReminderVisitor& visitor) {
  // The Mac's zone, as read again when this use began (`calendarsFor`): the zone that
  // EventKit's all-day events of the same moment are in.
  NSTimeZone* userZone = nil;
  if (std::exception_ptr raised = caught([&] { userZone = [NSTimeZone systemTimeZone]; })) {
    return raisedError(raised);
  }
  for (EKReminder* reminder in reminders) {
    bool stop = false;
    @autoreleasepool {
      ReminderRecord record;
      std::exception_ptr raised = caught([&] { record = reminderRecord(reminder, userZone); });
      if (raised) return raisedError(raised);
      visitor(record, stop);
    }
    if (stop) break;
  }
  return std::nullopt;
}

// The completion handed to EventKit for a reminder fetch: it hands the stores a walk over
// the fetched reminders, or reports a failed fetch (no array).
using ReminderFetchHandler = void (^)(NSArray<EKReminder*>* _Nullable reminders);

ReminderFetchHandler fetchHandler(ReminderFetchCompletion completion) {
  return ^(NSArray<EKReminder*>* _Nullable reminders) {
    @autoreleasepool {
      // The stores answer their own failures; anything that still comes out must not unwind
      // into EventKit. The request's deadline then answers.
      (void)caught([&] {
        const ReminderWalk walk = [reminders](const ReminderVisitor& visitor) -> PlatformStatus {
          if (reminders == nil) return std::nullopt;
          return walkReminders(reminders, visitor);
        };
        PlatformStatus fetched;
        if (reminders == nil) fetched = PlatformError{"EventKit fetched no reminders."};
        completion(std::move(fetched), walk);
      });
    }
  };
}

}  // namespace

struct CalendarStore::Impl {
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

Authorization CalendarStore::authorization(System& /*system*/, CalendarEntityType type) {
  return authorizationFromEventKit(statusOf(entityTypeOf(type)));
}

CalendarStore::CalendarStore(System& /*system*/)
    : impl_(raisingAsCxx([] { return std::make_unique<Impl>(); })) {}

CalendarStore::~CalendarStore() = default;

void CalendarStore::requestAccess(CalendarEntityType type, AccessCompletion completion) {
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

PlatformStatus CalendarStore::calendars(CalendarEntityType type, std::vector<CalendarInfo>* out) {
  @autoreleasepool {
    std::exception_ptr raised = caught([&] {
      for (EKCalendar* calendar in impl_->calendarsFor(entityTypeOf(type))) {
        out->push_back(CalendarInfo{utf8(calendar.calendarIdentifier), utf8(calendar.title),
                                    retainedHandle(calendar)});
      }
    });
    if (raised) return raisedError(raised);
    return std::nullopt;
  }
}

PlatformStatus CalendarStore::enumerateEvents(Instant start, Instant end,
                                              const std::vector<CalendarInfo>& calendars,
                                              const EventVisitor& visitor) {
  std::exception_ptr failed;
  std::exception_ptr thrown;
  @autoreleasepool {
    NSArray<EKCalendar*>* selected = calendarArray(calendars);
    // EventKit reads a missing list as "every calendar"; here no calendar selects nothing.
    if (selected.count == 0) return std::nullopt;
    EKEventStore* store = impl_->store;
    // EventKit declares the block escaping but calls it only during the call, on this
    // thread, so it may refer to state on this stack. Once the block has set the stop flag
    // it ignores later calls, as the interface promises.
    Enumeration<EventVisitor> state(visitor);
    Enumeration<EventVisitor>* enumeration = &state;
    failed = caught([&] {
      NSPredicate* predicate = [store predicateForEventsWithStartDate:nsDate(start)
                                                              endDate:nsDate(end)
                                                            calendars:selected];
      [store enumerateEventsMatchingPredicate:predicate
                                   usingBlock:^(EKEvent* event, BOOL* stop) {
                                     enumeration->visit([&] { return eventRecord(event); });
                                     if (enumeration->stopped) *stop = YES;
                                   }];
    });
    thrown = state.thrown;
  }
  // What the visitor threw comes first: it is what stopped the enumeration.
  if (thrown) std::rethrow_exception(thrown);
  if (failed) return raisedError(failed);
  return std::nullopt;
}

void CalendarStore::fetchIncompleteReminders(Instant start, Instant end,
                                             const std::vector<CalendarInfo>& lists,
                                             ReminderFetchCompletion completion) {
  @autoreleasepool {
    NSArray<EKCalendar*>* selected = calendarArray(lists);
    if (selected.count == 0) {
      // EventKit reads a missing list as "every list"; here no list selects nothing. The
      // completion still arrives later, on another thread.
      dispatch_async(dispatch_get_global_queue(QOS_CLASS_UTILITY, 0), ^{
        @autoreleasepool {
          (void)caught([&] {
            const ReminderWalk none = [](const ReminderVisitor&) -> PlatformStatus {
              return std::nullopt;
            };
            completion(std::nullopt, none);
          });
        }
      });
      return;
    }
    EKEventStore* store = impl_->store;
    ReminderFetchHandler handler = fetchHandler(completion);
    std::exception_ptr raised = caught([&] {
      NSPredicate* predicate = [store
          predicateForIncompleteRemindersWithDueDateStarting:nsDate(start - kServiceWindowMargin)
                                                      ending:nsDate(end + kServiceWindowMargin)
                                                   calendars:selected];
      [store fetchRemindersMatchingPredicate:predicate completion:handler];
    });
    // EventKit raised instead of fetching: the completion still arrives later, on another
    // thread, with the failure.
    if (raised) {
      dispatch_async(dispatch_get_global_queue(QOS_CLASS_UTILITY, 0), ^{
        handler(nil);
      });
    }
  }
}

ObserverToken CalendarStore::observeChanges(std::function<void()> onChange) {
  return raisingAsCxx([&] {
    return observeNotification(EKEventStoreChangedNotification, impl_->store, std::move(onChange));
  });
}

}  // namespace pemrix::platform
