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
#include "platform/calendar_store.h"

#import <EventKit/EventKit.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include "platform/apple/objc_values.h"
#include "platform/apple_conversions.h"

namespace pemrix::platform {

namespace {

EKEntityType entityTypeOf(CalendarEntityType type) {
  return type == CalendarEntityType::events ? EKEntityTypeEvent : EKEntityTypeReminder;
}

// The completion handed to EventKit for an access request.
EKEventStoreRequestAccessCompletionHandler accessHandler(AccessCompletion completion) {
  return ^(BOOL granted, NSError* _Nullable error) {
    completion(granted, platformError(error));
  };
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

// The completion handed to EventKit for a reminder fetch: it copies the reminders into
// records on EventKit's thread and reports them, or reports a failed fetch (no array).
using ReminderFetchHandler = void (^)(NSArray<EKReminder*>* _Nullable reminders);

ReminderFetchHandler fetchHandler(ReminderFetchCompletion completion) {
  return ^(NSArray<EKReminder*>* _Nullable reminders) {
    if (reminders == nil) {
      completion(std::nullopt);
      return;
    }
    std::vector<ReminderRecord> records;
    records.reserve(reminders.count);
    for (EKReminder* reminder in reminders) {
      @autoreleasepool {
        records.push_back(reminderRecord(reminder));
      }
    }
    completion(std::move(records));
  };
}

// Components built from the plain fields, for due dates that carry no service object.
// Nothing when the time zone is named but unknown.
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
  return components;
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

  EKEventStore* store = [[EKEventStore alloc] init];
  // The status of events and of reminders when the store last served them; "not
  // determined" until then, so that a store created before a grant is reset at first use.
  EKAuthorizationStatus served[2] = {EKAuthorizationStatusNotDetermined,
                                     EKAuthorizationStatusNotDetermined};
};

int CalendarStore::authorizationStatus(System& /*system*/, CalendarEntityType type) {
  return static_cast<int>([EKEventStore authorizationStatusForEntityType:entityTypeOf(type)]);
}

std::optional<Instant> CalendarStore::dateFromComponents(System& /*system*/,
                                                         const DateComponents& due) {
  @autoreleasepool {
    NSDateComponents* components = objectOf(due.handle);
    if (components == nil) components = componentsFromFields(due);
    if (components == nil) return std::nullopt;
    NSCalendar* calendar = components.calendar;
    if (calendar == nil) calendar = [NSCalendar currentCalendar];
    return instantOf([calendar dateFromComponents:components]);
  }
}

CalendarStore::CalendarStore(System& /*system*/) : impl_(std::make_unique<Impl>()) {}

CalendarStore::~CalendarStore() = default;

void CalendarStore::requestFullAccessToEvents(AccessCompletion completion) {
  auto handler = accessHandler(std::move(completion));
  if (@available(macOS 14.0, *)) {
    [impl_->store requestFullAccessToEventsWithCompletion:handler];
  } else {
    [impl_->store requestAccessToEntityType:EKEntityTypeEvent completion:handler];
  }
}

void CalendarStore::requestFullAccessToReminders(AccessCompletion completion) {
  auto handler = accessHandler(std::move(completion));
  if (@available(macOS 14.0, *)) {
    [impl_->store requestFullAccessToRemindersWithCompletion:handler];
  } else {
    [impl_->store requestAccessToEntityType:EKEntityTypeReminder completion:handler];
  }
}

void CalendarStore::requestAccess(CalendarEntityType type, AccessCompletion completion) {
  [impl_->store requestAccessToEntityType:entityTypeOf(type)
                               completion:accessHandler(std::move(completion))];
}

std::vector<CalendarInfo> CalendarStore::calendars(CalendarEntityType type) {
  @autoreleasepool {
    const EKEntityType entityType = entityTypeOf(type);
    impl_->refreshFor(entityType);
    std::vector<CalendarInfo> found;
    for (EKCalendar* calendar in [impl_->store calendarsForEntityType:entityType]) {
      found.push_back(CalendarInfo{utf8(calendar.calendarIdentifier), utf8(calendar.title),
                                   retainedHandle(calendar)});
    }
    return found;
  }
}

void CalendarStore::enumerateEvents(Instant start, Instant end,
                                    const std::vector<CalendarInfo>& calendars,
                                    const EventVisitor& visitor) {
  @autoreleasepool {
    NSArray<EKCalendar*>* selected = calendarArray(calendars);
    // EventKit reads a missing list as "every calendar"; here no calendar selects nothing.
    if (selected.count == 0) return;
    NSPredicate* predicate = [impl_->store predicateForEventsWithStartDate:nsDate(start)
                                                                   endDate:nsDate(end)
                                                                 calendars:selected];
    const EventVisitor* visit = &visitor;  // the enumeration is synchronous
    __block bool stopped = false;
    [impl_->store enumerateEventsMatchingPredicate:predicate
                                        usingBlock:^(EKEvent* event, BOOL* stop) {
                                          if (stopped) return;
                                          @autoreleasepool {
                                            (*visit)(eventRecord(event), stopped);
                                          }
                                          if (stopped) *stop = YES;
                                        }];
  }
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
        completion(std::vector<ReminderRecord>());
      });
      return;
    }
    NSPredicate* predicate =
        [impl_->store predicateForIncompleteRemindersWithDueDateStarting:nsDate(start)
                                                                  ending:nsDate(end)
                                                               calendars:selected];
    [impl_->store fetchRemindersMatchingPredicate:predicate
                                       completion:fetchHandler(std::move(completion))];
  }
}

ObserverToken CalendarStore::observeChanges(std::function<void()> onChange) {
  return observeNotification(EKEventStoreChangedNotification, impl_->store, std::move(onChange));
}

}  // namespace pemrix::platform
