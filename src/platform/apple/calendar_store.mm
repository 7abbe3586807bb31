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
// Failures: every EventKit call that can raise runs inside `raisingAsCxx`, so an Objective-C
// exception reaches the stores as a C++ exception on their own thread. Blocks that EventKit
// calls never let an exception unwind through EventKit: they catch it, stop the enumeration,
// and it is rethrown once EventKit has returned.
#include "platform/calendar_store.h"

#import <EventKit/EventKit.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include <exception>
#include <utility>

#include "platform/apple/objc_values.h"
#include "platform/apple_conversions.h"

namespace pemrix::platform {

namespace {

EKEntityType entityTypeOf(CalendarEntityType type) {
  return type == CalendarEntityType::events ? EKEntityTypeEvent : EKEntityTypeReminder;
}

// Full access: 3, named EKAuthorizationStatusAuthorized before macOS 14.
constexpr EKAuthorizationStatus kFullAccess = static_cast<EKAuthorizationStatus>(3);

// How long an access completion that reports a grant waits, at most, for the status to stop
// reading "not determined", and how often it reads it meanwhile.
constexpr NSTimeInterval kGrantSettleSeconds = 1.0;
constexpr NSTimeInterval kGrantPollSeconds = 0.05;

// The status of `type`; -1 (reported as "unknown") if EventKit raised.
NSInteger statusOf(EKEntityType type) {
  @try {
    return [EKEventStore authorizationStatusForEntityType:type];
  } @catch (NSException*) {
    return -1;
  }
}

// The completion handed to EventKit for an access request. EventKit has been seen to report
// a grant while the status still reads "not determined" for a short moment; the completion
// then reads the status again for up to a second on EventKit's thread, so that the state the
// stores read afterwards is the granted one.
EKEventStoreRequestAccessCompletionHandler accessHandler(EKEntityType type,
                                                         AccessCompletion completion) {
  return ^(BOOL granted, NSError* _Nullable error) {
    @autoreleasepool {
      if (granted) {
        for (NSTimeInterval waited = 0;
             statusOf(type) == EKAuthorizationStatusNotDetermined && waited < kGrantSettleSeconds;
             waited += kGrantPollSeconds) {
          [NSThread sleepForTimeInterval:kGrantPollSeconds];
        }
      }
      (void)caught([&] { completion(granted != NO, platformError(error)); });
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
      (void)caught([&] {
        completion(false, PlatformError{"The calendar store could not request access."});
      });
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

DateComponents dateComponents(NSDateComponents* components) {
  DateComponents due;
  due.year = dateComponentValue(components.year);
  due.month = dateComponentValue(components.month);
  due.day = dateComponentValue(components.day);
  due.hour = dateComponentValue(components.hour);
  due.minute = dateComponentValue(components.minute);
  due.second = dateComponentValue(components.second);
  NSTimeZone* zone = components.timeZone;
  if (zone != nil) due.timeZone = utf8(zone.name);
  NSCalendar* calendar = components.calendar;
  if (calendar != nil) due.calendar = utf8(calendar.calendarIdentifier);
  due.handle = retainedHandle(components);
  return due;
}

ReminderRecord reminderRecord(EKReminder* reminder) {
  EKCalendar* list = reminder.calendar;
  NSDateComponents* components = reminder.dueDateComponents;
  ReminderRecord record;
  record.calendarIdentifier = list != nil ? optionalUtf8(list.calendarIdentifier) : std::nullopt;
  record.itemIdentifier = utf8(reminder.calendarItemIdentifier);
  record.title = optionalUtf8(reminder.title);
  record.completed = reminder.completed != NO;
  if (components != nil) record.due = dateComponents(components);
  record.priority = static_cast<int64_t>(reminder.priority);
  return record;
}

// Visits `reminders` in order, converting each into a record only when its turn comes. Runs
// on EventKit's thread inside the fetch completion; an exception of the visitor or of a
// conversion leaves it for the completion's caller to handle.
void walkReminders(NSArray<EKReminder*>* reminders, const ReminderVisitor& visitor) {
  raisingAsCxx([&] {
    for (EKReminder* reminder in reminders) {
      bool stop = false;
      @autoreleasepool {
        visitor(raisingAsCxx([&] { return reminderRecord(reminder); }), stop);
      }
      if (stop) return;
    }
  });
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
        if (reminders == nil) {
          completion(nullptr);
          return;
        }
        const ReminderWalk walk = [reminders](const ReminderVisitor& visitor) {
          walkReminders(reminders, visitor);
        };
        completion(&walk);
      });
    }
  };
}

// Components built from the plain fields, for due dates that carry no service object.
// Nothing when the time zone or calendar is named but unknown.
NSDateComponents* _Nullable componentsFromFields(const DateComponents& due) {
  NSDateComponents* components = [[NSDateComponents alloc] init];
  if (due.year) components.year = static_cast<NSInteger>(*due.year);
  if (due.month) components.month = static_cast<NSInteger>(*due.month);
  if (due.day) components.day = static_cast<NSInteger>(*due.day);
  if (due.hour) components.hour = static_cast<NSInteger>(*due.hour);
  if (due.minute) components.minute = static_cast<NSInteger>(*due.minute);
  if (due.second) components.second = static_cast<NSInteger>(*due.second);
  if (due.timeZone) {
    NSTimeZone* zone = [NSTimeZone timeZoneWithName:nsString(*due.timeZone)];
    if (zone == nil) return nil;
    components.timeZone = zone;
  }
  if (due.calendar) {
    NSCalendar* calendar = [NSCalendar calendarWithIdentifier:nsString(*due.calendar)];
    if (calendar == nil) return nil;
    components.calendar = calendar;
  }
  return components;
}

// The calendar for components that carry none. EventKit stores due dates as Gregorian
// components, whatever calendar the user's system shows (Buddhist, Japanese, Hebrew...);
// the system's time zone keeps floating dates local.
NSCalendar* dueDateCalendar() {
  NSCalendar* gregorian = [NSCalendar calendarWithIdentifier:NSCalendarIdentifierGregorian];
  gregorian.timeZone = [NSTimeZone systemTimeZone];
  return gregorian;
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

  NSArray<EKCalendar*>* calendarsFor(EKEntityType type) {
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

int CalendarStore::authorizationStatus(System& /*system*/, CalendarEntityType type) {
  return static_cast<int>(statusOf(entityTypeOf(type)));
}

std::optional<Instant> CalendarStore::dateFromComponents(System& /*system*/,
                                                         const DateComponents& due) {
  @autoreleasepool {
    return raisingAsCxx([&]() -> std::optional<Instant> {
      NSDateComponents* components = objectOf(due.handle);
      if (components == nil) components = componentsFromFields(due);
      if (components == nil) return std::nullopt;
      NSCalendar* calendar = components.calendar;
      if (calendar == nil) calendar = dueDateCalendar();
      return instantOf([calendar dateFromComponents:components]);
    });
  }
}

CalendarStore::CalendarStore(System& /*system*/)
    : impl_(raisingAsCxx([] { return std::make_unique<Impl>(); })) {}

CalendarStore::~CalendarStore() = default;

void CalendarStore::requestFullAccessToEvents(AccessCompletion completion) {
  EKEventStore* store = impl_->store;
  auto handler = accessHandler(EKEntityTypeEvent, completion);
  requestGuarded(
      [&] {
        if (@available(macOS 14.0, *)) {
          [store requestFullAccessToEventsWithCompletion:handler];
        } else {
          [store requestAccessToEntityType:EKEntityTypeEvent completion:handler];
        }
      },
      std::move(completion));
}

void CalendarStore::requestFullAccessToReminders(AccessCompletion completion) {
  EKEventStore* store = impl_->store;
  auto handler = accessHandler(EKEntityTypeReminder, completion);
  requestGuarded(
      [&] {
        if (@available(macOS 14.0, *)) {
          [store requestFullAccessToRemindersWithCompletion:handler];
        } else {
          [store requestAccessToEntityType:EKEntityTypeReminder completion:handler];
        }
      },
      std::move(completion));
}

void CalendarStore::requestAccess(CalendarEntityType type, AccessCompletion completion) {
  EKEventStore* store = impl_->store;
  const EKEntityType entityType = entityTypeOf(type);
  auto handler = accessHandler(entityType, completion);
  requestGuarded([&] { [store requestAccessToEntityType:entityType completion:handler]; },
                 std::move(completion));
}

std::vector<CalendarInfo> CalendarStore::calendars(CalendarEntityType type) {
  @autoreleasepool {
    return raisingAsCxx([&] {
      std::vector<CalendarInfo> found;
      for (EKCalendar* calendar in impl_->calendarsFor(entityTypeOf(type))) {
        found.push_back(CalendarInfo{utf8(calendar.calendarIdentifier), utf8(calendar.title),
                                     retainedHandle(calendar)});
      }
      return found;
    });
  }
}

void CalendarStore::enumerateEvents(Instant start, Instant end,
                                    const std::vector<CalendarInfo>& calendars,
                                    const EventVisitor& visitor) {
  std::exception_ptr failed;
  std::exception_ptr thrown;
  @autoreleasepool {
    NSArray<EKCalendar*>* selected = calendarArray(calendars);
    // EventKit reads a missing list as "every calendar"; here no calendar selects nothing.
    if (selected.count == 0) return;
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
  if (failed) std::rethrow_exception(failed);
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
            const ReminderWalk none = [](const ReminderVisitor&) {};
            completion(&none);
          });
        }
      });
      return;
    }
    EKEventStore* store = impl_->store;
    raisingAsCxx([&] {
      NSPredicate* predicate =
          [store predicateForIncompleteRemindersWithDueDateStarting:nsDate(start)
                                                             ending:nsDate(end)
                                                          calendars:selected];
      [store fetchRemindersMatchingPredicate:predicate
                                  completion:fetchHandler(std::move(completion))];
    });
  }
}

ObserverToken CalendarStore::observeChanges(std::function<void()> onChange) {
  return raisingAsCxx([&] {
    return observeNotification(EKEventStoreChangedNotification, impl_->store, std::move(onChange));
  });
}

}  // namespace pemrix::platform
