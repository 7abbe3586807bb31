// EventKit and Contacts as a conformance backend (the macOS adapters, pemrix_core_apple),
// run on a Mac whose user gave this process access to calendars, reminders and contacts.
// The writer puts the world in as another program would, through stores of its own: a
// calendar per world calendar and reminder list in the local source (or, without one, the
// source of the calendar that takes new items), events with their zones, all-day days and
// recurrence rules (an excluded occurrence removed, a moved one edited, each for that
// occurrence only), reminders with their due-date components, and contacts saved into the
// default container. Before it writes, it removes what its last
// write made (its calendars, with everything in them, and its contacts); what the store
// held besides is left alone, and the suite does not see it (`worldId`).
//
// The user's zone is the process's: EventKit gives all-day events, and the adapters read
// floating and date-only due dates, in the Mac's zone, which Foundation takes from TZ when
// it is set; the test runs with TZ set to the world's zone (CMakeLists.txt), and the writer
// checks that it is.
//
// EventKit and Contacts assign the identifiers: the writer keeps a table from the store's
// identifiers to the world's, which platform_calls.h reads through `storeId` and `worldId`.
//
// What the Apple APIs cannot do is reported through `cannot`: Contacts creates no
// containers, so every contact goes into the one default container; a container cannot be
// taken away; nothing makes the services fail a read; and the authorisation state is the
// one the user (TCC) gave, which a process cannot set.
//
// Both frameworks deliver their change notifications through the main thread's run loop,
// which the bridge runs (platform/apple/main_queue.mm) and GoogleTest's main thread does
// not: after a write from another client, the main run loop runs until the framework's
// notification of it has come (to an observer of the writer's own) and a moment longer, so
// that every observer has had its copy.
#include <gtest/gtest.h>

#import <Contacts/Contacts.h>
#import <CoreFoundation/CoreFoundation.h>
#import <EventKit/EventKit.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include <atomic>
#include <map>
#include <memory>
#include <thread>

#include "conformance/backend.h"
#include "platform/apple/apple_system.h"
#include "platform/apple/objc_values.h"

namespace pemrix::conformance {
namespace {

using namespace std::chrono;

// How long the main run loop runs, at most, for the notification of another client's write,
// and then longer for every observer's copy; how many contacts one save request adds.
constexpr auto kNotificationWait = seconds(10);
constexpr auto kDeliveryMargin = milliseconds(500);
constexpr std::size_t kContactsPerSave = 200;

// The Gregorian calendar in `zone`.
NSCalendar* gregorianIn(NSTimeZone* zone) {
  NSCalendar* calendar = [NSCalendar calendarWithIdentifier:NSCalendarIdentifierGregorian];
  calendar.timeZone = zone;
  return calendar;
}

// The date (and, unless `dateOnly`, the time of day) of the wall time `local`.
NSDateComponents* componentsOf(local_seconds local, bool dateOnly) {
  const local_days day = floor<days>(local);
  const year_month_day date(day);
  NSDateComponents* components = [[NSDateComponents alloc] init];
  components.year = static_cast<int>(date.year());
  components.month = static_cast<unsigned>(date.month());
  components.day = static_cast<unsigned>(date.day());
  if (!dateOnly) {
    const hh_mm_ss<seconds> time(local - day);
    components.hour = time.hours().count();
    components.minute = time.minutes().count();
    components.second = time.seconds().count();
  }
  return components;
}

NSTimeZone* zoneNamed(const std::string& name) {
  NSTimeZone* zone = [NSTimeZone timeZoneWithName:platform::nsString(name)];
  EXPECT_TRUE(zone != nil) << "no time zone " << name;
  return zone;
}

// The instant of the wall time `local` in `zone`, as Foundation resolves it.
NSDate* dateAt(local_seconds local, NSTimeZone* zone) {
  return [gregorianIn(zone) dateFromComponents:componentsOf(local, false)];
}

// Fails the current case with `what` and the error's description.
bool succeeded(BOOL saved, NSError* error, const std::string& what) {
  if (saved) return true;
  ADD_FAILURE() << what << ": " << (error != nil ? platform::utf8(error.localizedDescription) : "");
  return false;
}

// Runs the main thread's run loop, delivering what was posted through it, until `done`
// returns true or `limit` has passed.
template <typename Done>
void runMainLoop(steady_clock::duration limit, Done&& done) {
  const auto until = steady_clock::now() + limit;
  while (!done() && steady_clock::now() < until) {
    if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, true) == kCFRunLoopRunFinished) {
      std::this_thread::sleep_for(milliseconds(10));
    }
  }
}

// Delivers what earlier writes posted, for kDeliveryMargin, so that no observer registered
// later takes it for news.
void deliverEarlierNotifications() {
  runMainLoop(kDeliveryMargin, [] { return false; });
}

// Runs `write` as another client and the main run loop until `notification` for it came
// (failing the case when it never does) and kDeliveryMargin longer.
template <typename Write>
void writeAndDeliver(NSNotificationName notification, Write&& write) {
  deliverEarlierNotifications();
  auto posted = std::make_shared<std::atomic<bool>>(false);
  NSNotificationCenter* center = [NSNotificationCenter defaultCenter];
  id<NSObject> observer = [center addObserverForName:notification
                                              object:nil
                                               queue:nil
                                          usingBlock:^(NSNotification*) {
                                            posted->store(true);
                                          }];
  write();
  runMainLoop(kNotificationWait, [&] { return posted->load(); });
  EXPECT_TRUE(posted->load()) << "no change notification for another client's write";
  deliverEarlierNotifications();
  [center removeObserver:observer];
}

class AppleBackend final : public ConformanceBackend {
 public:
  ~AppleBackend() override {
    dropStores();
    removeWritten();
  }

  std::string cannot(Capability capability) const override {
    switch (capability) {
      case Capability::namedContainers:
        return "Contacts creates no containers: the world's contacts all go into the default one";
      case Capability::goneContainer:
        return "Contacts cannot take a container away: the default container always exists";
      case Capability::failingService:
        return "EventKit and Contacts offer no way to make the service fail a read";
      case Capability::authorization:
        return "the authorisation state is the one the user gave this process (TCC); a process "
               "cannot set it";
      default:
        return "";
    }
  }

  void write(const World& world) override {
    [NSTimeZone resetSystemTimeZone];
    if (platform::utf8([NSTimeZone systemTimeZone].name) != world.userZone) {
      ADD_FAILURE() << "the process's zone (TZ) is not the world's " << world.userZone;
    }
    dropStores();
    removeWritten();
    toWorld_.clear();
    toStore_.clear();
    @autoreleasepool {
      NSString* defaultContainer = [contacts_ defaultContainerIdentifier];
      bool firstContainer = true;
      for (const Source& source : world.sources) {
        if (source.kind == Kind::contacts) {
          // Every container of the world is the store's default one, which reads back as
          // the world's first.
          toStore_[source.id] = platform::utf8(defaultContainer);
          if (firstContainer) toWorld_[platform::utf8(defaultContainer)] = source.id;
          firstContainer = false;
        } else if (EKCalendar* calendar = makeCalendar(source)) {
          remember(source.id, platform::utf8(calendar.calendarIdentifier));
        }
      }
      for (const Event& event : world.events) writeEvent(event, world.userZone);
      for (const Reminder& reminder : world.reminders) writeReminder(reminder);
      writeContacts(world.contacts);
    }
    makeStores();
    deliverEarlierNotifications();
  }

  platform::System& system() override { return system_; }
  platform::CalendarStore& calendarStore() override { return *calendarStore_; }
  platform::ContactStore& contactStore() override { return *contactStore_; }
  void onStoreQueue(const std::function<void()>& task) override {
    const std::function<void()>* run = &task;
    dispatch_sync(queue_, ^{
      @autoreleasepool {
        (*run)();
      }
    });
  }

  void changeFromAnotherClient(Kind kind, const std::string& sourceId) override {
    const std::string title = "another client " + std::to_string(++changes_);
    if (kind == Kind::contacts) {
      writeAndDeliver(CNContactStoreDidChangeNotification, [&] {
        CNMutableContact* contact = [[CNMutableContact alloc] init];
        contact.givenName = platform::nsString(title);
        CNSaveRequest* request = [[CNSaveRequest alloc] init];
        [request addContact:contact toContainerWithIdentifier:nil];
        NSError* error = nil;
        if (succeeded([contacts_ executeSaveRequest:request error:&error], error, title)) {
          [writtenContacts_ addObject:contact];
        }
      });
      return;
    }
    EKCalendar* calendar = calendarOf(sourceId);
    if (calendar == nil) return;
    writeAndDeliver(EKEventStoreChangedNotification, [&] {
      NSError* error = nil;
      if (kind == Kind::events) {
        NSDate* start = [NSDate dateWithTimeIntervalSinceReferenceDate:737'028'000];  // 2024-05-10
        EKEvent* event = [EKEvent eventWithEventStore:events_];
        event.calendar = calendar;
        event.title = platform::nsString(title);
        event.startDate = start;
        event.endDate = [start dateByAddingTimeInterval:3600];
        succeeded([events_ saveEvent:event span:EKSpanThisEvent commit:YES error:&error], error,
                  title);
      } else {
        EKReminder* reminder = [EKReminder reminderWithEventStore:events_];
        reminder.calendar = calendar;
        reminder.title = platform::nsString(title);
        succeeded([events_ saveReminder:reminder commit:YES error:&error], error, title);
      }
    });
  }

  void inject(Fault fault, Kind kind, const std::string& sourceId) override {
    if (fault != Fault::sourceGone || kind == Kind::contacts) {
      ADD_FAILURE() << "cannot inject this fault (see `cannot`)";
      return;
    }
    @autoreleasepool {
      if (EKCalendar* calendar = calendarOf(sourceId)) {
        NSError* error = nil;
        succeeded([events_ removeCalendar:calendar commit:YES error:&error], error,
                  "removing " + sourceId);
      }
    }
    // Fresh stores over the store as it is now; the calendar is read by its identifier.
    dropStores();
    makeStores();
  }

  // Only full access is ever asked for (`cannot(authorization)`): the user gave it.
  void setAuthorization(Kind, platform::Authorization) override {}

  std::string storeId(const std::string& worldId) const override {
    auto found = toStore_.find(worldId);
    return found == toStore_.end() ? worldId : found->second;
  }
  std::optional<std::string> worldId(const std::string& storeId) const override {
    auto found = toWorld_.find(storeId);
    if (found == toWorld_.end()) return std::nullopt;
    return found->second;
  }

 private:
  void remember(const std::string& worldId, const std::string& storeId) {
    toStore_[worldId] = storeId;
    toWorld_[storeId] = worldId;
  }

  EKCalendar* _Nullable calendarOf(const std::string& worldId) {
    return [events_ calendarWithIdentifier:platform::nsString(storeId(worldId))];
  }

  // Where calendars of `type` are made: the local source ("On My Mac"), or, on a Mac
  // without one, the source of the calendar that takes new items of that type.
  EKSource* _Nullable sourceFor(EKEntityType type) {
    for (EKSource* source in events_.sources) {
      if (source.sourceType == EKSourceTypeLocal) return source;
    }
    EKCalendar* standard = type == EKEntityTypeEvent ? events_.defaultCalendarForNewEvents
                                                     : [events_ defaultCalendarForNewReminders];
    if (standard != nil) return standard.source;
    ADD_FAILURE() << "EventKit has no local source and no calendar that takes new items";
    return nil;
  }

  EKCalendar* _Nullable makeCalendar(const Source& source) {
    const EKEntityType type =
        source.kind == Kind::events ? EKEntityTypeEvent : EKEntityTypeReminder;
    EKSource* where = sourceFor(type);
    if (where == nil) return nil;
    EKCalendar* calendar = [EKCalendar calendarForEntityType:type eventStore:events_];
    calendar.source = where;
    calendar.title = platform::nsString(source.title);
    NSError* error = nil;
    if (!succeeded([events_ saveCalendar:calendar commit:YES error:&error], error,
                   "making calendar " + source.id)) {
      return nil;
    }
    writtenCalendars_.push_back(platform::utf8(calendar.calendarIdentifier));
    return calendar;
  }

  void writeEvent(const Event& world, const std::string& userZone) {
    EKCalendar* calendar = calendarOf(world.calendar);
    if (calendar == nil) return;
    EKEvent* event = [EKEvent eventWithEventStore:events_];
    event.calendar = calendar;
    event.title = platform::nsString(world.title);
    if (world.allDay) {
      // All-day events float: their days are the user's, from the first day's start to the
      // last day's end.
      NSTimeZone* zone = zoneNamed(userZone);
      const local_days first = floor<days>(world.start);
      event.allDay = YES;
      event.startDate = dateAt(first, zone);
      event.endDate = dateAt(first + days(world.days) - seconds(1), zone);
    } else {
      NSTimeZone* zone = zoneNamed(world.zone);
      event.timeZone = zone;
      event.startDate = dateAt(world.start, zone);
      event.endDate = world.days > 0
                          ? dateAt(world.start + days(world.days), zone)
                          : [event.startDate dateByAddingTimeInterval:world.length.count()];
    }
    if (world.repeat) {
      EKRecurrenceEnd* end = [EKRecurrenceEnd recurrenceEndWithOccurrenceCount:world.repeat->count];
      [event addRecurrenceRule:[[EKRecurrenceRule alloc]
                                   initRecurrenceWithFrequency:world.repeat->weekly
                                                                   ? EKRecurrenceFrequencyWeekly
                                                                   : EKRecurrenceFrequencyDaily
                                                      interval:1
                                                           end:end]];
    }
    NSError* error = nil;
    if (!succeeded([events_ saveEvent:event span:EKSpanThisEvent commit:YES error:&error], error,
                   "saving event " + world.id)) {
      return;
    }
    remember(world.id, platform::utf8(event.calendarItemIdentifier));
    if (!world.repeat) return;
    NSTimeZone* zone = zoneNamed(world.zone);
    for (local_seconds excluded : world.repeat->excluded) {
      if (EKEvent* occurrence = occurrenceOf(event, dateAt(excluded, zone))) {
        succeeded([events_ removeEvent:occurrence span:EKSpanThisEvent commit:YES error:&error],
                  error, "excluding an occurrence of " + world.id);
      }
    }
    for (const Repeat::Moved& moved : world.repeat->moved) {
      EKEvent* occurrence = occurrenceOf(event, dateAt(moved.original, zone));
      if (occurrence == nil) continue;
      NSDate* start = dateAt(moved.start, zone);
      occurrence.title = platform::nsString(moved.title);
      occurrence.startDate = start;
      occurrence.endDate = [start dateByAddingTimeInterval:world.length.count()];
      if (succeeded([events_ saveEvent:occurrence span:EKSpanThisEvent commit:YES error:&error],
                    error, "moving an occurrence of " + world.id)) {
        remember(world.id, platform::utf8(occurrence.calendarItemIdentifier));
      }
    }
  }

  // The occurrence of the series `series` that starts at `start`.
  EKEvent* _Nullable occurrenceOf(EKEvent* series, NSDate* start) {
    NSMutableArray<EKCalendar*>* calendars = [NSMutableArray arrayWithCapacity:1];
    [calendars addObject:series.calendar];
    NSPredicate* predicate =
        [events_ predicateForEventsWithStartDate:start
                                         endDate:[start dateByAddingTimeInterval:1]
                                       calendars:calendars];
    __block EKEvent* found = nil;
    NSString* identifier = series.calendarItemIdentifier;
    const NSTimeInterval at = start.timeIntervalSinceReferenceDate;
    [events_ enumerateEventsMatchingPredicate:predicate
                                   usingBlock:^(EKEvent* event, BOOL* stop) {
                                     if ([event.calendarItemIdentifier isEqual:identifier] &&
                                         event.startDate.timeIntervalSinceReferenceDate == at) {
                                       found = event;
                                       *stop = YES;
                                     }
                                   }];
    EXPECT_TRUE(found != nil) << "no occurrence of " << platform::utf8(series.title);
    return found;
  }

  // Due at a date, or at a date and a wall time: in its zone when it has one, floating when
  // not.
  void writeReminder(const Reminder& world) {
    EKCalendar* list = calendarOf(world.list);
    if (list == nil) return;
    EKReminder* reminder = [EKReminder reminderWithEventStore:events_];
    reminder.calendar = list;
    reminder.title = platform::nsString(world.title);
    NSDateComponents* due = componentsOf(world.due, world.dateOnly);
    due.calendar = [NSCalendar calendarWithIdentifier:NSCalendarIdentifierGregorian];
    if (!world.dateOnly && world.zone) due.timeZone = zoneNamed(*world.zone);
    reminder.dueDateComponents = due;
    reminder.completed = world.completed ? YES : NO;
    NSError* error = nil;
    if (succeeded([events_ saveReminder:reminder commit:YES error:&error], error,
                  "saving reminder " + world.id)) {
      remember(world.id, platform::utf8(reminder.calendarItemIdentifier));
    }
  }

  // Into the default container, kContactsPerSave to a save request.
  void writeContacts(const std::vector<Contact>& world) {
    for (std::size_t first = 0; first < world.size(); first += kContactsPerSave) {
      @autoreleasepool {
        CNSaveRequest* request = [[CNSaveRequest alloc] init];
        NSMutableArray<CNMutableContact*>* added =
            [NSMutableArray arrayWithCapacity:kContactsPerSave];
        for (std::size_t i = first; i < world.size() && i < first + kContactsPerSave; ++i) {
          CNMutableContact* contact = [[CNMutableContact alloc] init];
          contact.givenName = platform::nsString(world[i].givenName);
          contact.familyName = platform::nsString(world[i].familyName);
          contact.organizationName = platform::nsString(world[i].organizationName);
          contact.jobTitle = platform::nsString(world[i].jobTitle);
          [request addContact:contact toContainerWithIdentifier:nil];
          [added addObject:contact];
        }
        NSError* error = nil;
        if (!succeeded([contacts_ executeSaveRequest:request error:&error], error,
                       "saving contacts")) {
          return;
        }
        for (NSUInteger i = 0; i < added.count; ++i) {
          CNMutableContact* contact = [added objectAtIndex:i];
          [writtenContacts_ addObject:contact];
          remember(world[first + i].id, platform::utf8(contact.identifier));
        }
      }
    }
  }

  // Removes the calendars and contacts that the last write (and the changes from another
  // client since) made.
  void removeWritten() {
    @autoreleasepool {
      for (const std::string& identifier : writtenCalendars_) {
        EKCalendar* calendar = [events_ calendarWithIdentifier:platform::nsString(identifier)];
        NSError* error = nil;
        if (calendar != nil) {
          succeeded([events_ removeCalendar:calendar commit:YES error:&error], error,
                    "removing calendar " + identifier);
        }
      }
      writtenCalendars_.clear();
      if (writtenContacts_.count > 0) {
        CNSaveRequest* request = [[CNSaveRequest alloc] init];
        for (CNMutableContact* contact in writtenContacts_) [request deleteContact:contact];
        NSError* error = nil;
        succeeded([contacts_ executeSaveRequest:request error:&error], error, "removing contacts");
      }
      writtenContacts_ = [NSMutableArray arrayWithCapacity:kContactsPerSave];
    }
  }

  void makeStores() {
    onStoreQueue([this] {
      EXPECT_TRUE(system_.openCalendarStore(&calendarStore_).ok());
      EXPECT_TRUE(system_.openContactStore(&contactStore_).ok());
    });
  }

  void dropStores() {
    onStoreQueue([this] {
      calendarStore_.reset();
      contactStore_.reset();
    });
  }

  // The writer's own stores: another client, as far as the adapters' stores can tell.
  EKEventStore* events_ = [[EKEventStore alloc] init];
  CNContactStore* contacts_ = [[CNContactStore alloc] init];
  std::vector<std::string> writtenCalendars_;
  NSMutableArray<CNMutableContact*>* writtenContacts_ = [NSMutableArray arrayWithCapacity:1];
  std::map<std::string, std::string> toStore_, toWorld_;
  int changes_ = 0;

  // The stores' serial queue: a private Dispatch queue, as the bridge runs them on one.
  dispatch_queue_t queue_ =
      dispatch_queue_create("org.pemrix.conformance.stores", DISPATCH_QUEUE_SERIAL);
  platform::AppleSystem system_;
  std::unique_ptr<platform::CalendarStore> calendarStore_;
  std::unique_ptr<platform::ContactStore> contactStore_;
};

}  // namespace

std::unique_ptr<ConformanceBackend> makeConformanceBackend() {
  return std::make_unique<AppleBackend>();
}

}  // namespace pemrix::conformance
