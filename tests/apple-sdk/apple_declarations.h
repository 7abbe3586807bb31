// Declarations of the part of Apple's SDK that the macOS adapters (src/platform/apple/*.mm),
// src/main.cc and the conformance suite's writer (tests/conformance/apple_backend.mm) use,
// written from Apple's documented signatures.
//
// This file exists only for tools/check-apple-syntax.sh, which compiles the adapters in
// syntax-only mode on hosts without Apple's SDK. It is never used to build the product: on
// macOS the real framework headers are used. Keep it minimal and faithful: declare exactly
// what the adapters call, with Apple's names, types, nullability and availability, so that a
// misspelt selector, a wrong argument type or a plain `init` where Apple forbids it fails
// the check. Bodies of protocols the adapters never call into are left empty.
#pragma once

#if !defined(__OBJC__) || !defined(__cplusplus)
#error "The Apple declarations are for Objective-C++ only."
#endif

#include <limits.h>
#include <stddef.h>
#include <stdint.h>

#define NS_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define NS_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
#define NS_UNAVAILABLE __attribute__((unavailable))
#define NS_DESIGNATED_INITIALIZER __attribute__((objc_designated_initializer))
#define NS_NOESCAPE __attribute__((noescape))
#define NS_ENUM(_type, _name) \
  enum _name : _type _name;   \
  enum _name : _type
// Availability as Apple's headers mark it (<os/availability.h>): each platform's version
// becomes clang's availability attribute, so that a compile for a macOS target (the syntax
// check compiles for macOS 12) warns about a use of an API newer than the target outside
// `@available`, and about one deprecated at or before the target. Platforms: macos, ios,
// macCatalyst, watchos, visionos; one to four of them per marking.
#define PEMRIX_AVAILABLE_macos(v) macos, introduced = v
#define PEMRIX_AVAILABLE_ios(v) ios, introduced = v
#define PEMRIX_AVAILABLE_macCatalyst(v) macCatalyst, introduced = v
#define PEMRIX_AVAILABLE_watchos(v) watchos, introduced = v
#define PEMRIX_AVAILABLE_visionos(v) visionos, introduced = v
#define PEMRIX_AVAILABLE_1(p) __attribute__((availability(PEMRIX_AVAILABLE_##p)))
#define PEMRIX_AVAILABLE_2(p, ...) PEMRIX_AVAILABLE_1(p) PEMRIX_AVAILABLE_1(__VA_ARGS__)
#define PEMRIX_AVAILABLE_3(p, ...) PEMRIX_AVAILABLE_1(p) PEMRIX_AVAILABLE_2(__VA_ARGS__)
#define PEMRIX_AVAILABLE_4(p, ...) PEMRIX_AVAILABLE_1(p) PEMRIX_AVAILABLE_3(__VA_ARGS__)
#define PEMRIX_DEPRECATED_macos(from, to) macos, introduced = from, deprecated = to
#define PEMRIX_DEPRECATED_ios(from, to) ios, introduced = from, deprecated = to
#define PEMRIX_DEPRECATED_macCatalyst(from, to) macCatalyst, introduced = from, deprecated = to
#define PEMRIX_DEPRECATED_watchos(from, to) watchos, introduced = from, deprecated = to
#define PEMRIX_DEPRECATED_1(m, p) __attribute__((availability(PEMRIX_DEPRECATED_##p, message = m)))
#define PEMRIX_DEPRECATED_2(m, p, ...) PEMRIX_DEPRECATED_1(m, p) PEMRIX_DEPRECATED_1(m, __VA_ARGS__)
#define PEMRIX_DEPRECATED_3(m, p, ...) PEMRIX_DEPRECATED_1(m, p) PEMRIX_DEPRECATED_2(m, __VA_ARGS__)
#define PEMRIX_DEPRECATED_4(m, p, ...) PEMRIX_DEPRECATED_1(m, p) PEMRIX_DEPRECATED_3(m, __VA_ARGS__)
#define PEMRIX_PICK(_1, _2, _3, _4, name, ...) name
#define API_AVAILABLE(...)                                                             \
  PEMRIX_PICK(__VA_ARGS__, PEMRIX_AVAILABLE_4, PEMRIX_AVAILABLE_3, PEMRIX_AVAILABLE_2, \
              PEMRIX_AVAILABLE_1, )                                                    \
  (__VA_ARGS__)
#define API_DEPRECATED(message, ...)                                                      \
  PEMRIX_PICK(__VA_ARGS__, PEMRIX_DEPRECATED_4, PEMRIX_DEPRECATED_3, PEMRIX_DEPRECATED_2, \
              PEMRIX_DEPRECATED_1, )                                                      \
  (message, __VA_ARGS__)

// ---- Objective-C and Foundation basics ----

// BOOL is `signed char` on x86_64 and `bool` on arm64: as in Apple's <objc/objc.h>, the
// compiler's __OBJC_BOOL_IS_BOOL for the target decides. The syntax check compiles for both
// targets, so type mistakes that only one architecture shows fail.
#if defined(__OBJC_BOOL_IS_BOOL) && __OBJC_BOOL_IS_BOOL
#define OBJC_BOOL_IS_BOOL 1
#else
#define OBJC_BOOL_IS_BOOL 0
#endif
#if OBJC_BOOL_IS_BOOL
typedef bool BOOL;
#else
typedef signed char BOOL;
#endif
#define YES __objc_yes
#define NO __objc_no
#define nil nullptr
typedef long NSInteger;
typedef unsigned long NSUInteger;
#define NSIntegerMax LONG_MAX
typedef double NSTimeInterval;
typedef unsigned short unichar;
typedef NSUInteger NSStringEncoding;
enum { NSUTF8StringEncoding = 4 };

typedef struct _NSRange {
  NSUInteger location;
  NSUInteger length;
} NSRange;
static inline NSRange NSMakeRange(NSUInteger loc, NSUInteger len) {
  NSRange r;
  r.location = loc;
  r.length = len;
  return r;
}

NS_ASSUME_NONNULL_BEGIN

@class NSString, NSDate, NSCalendar, NSTimeZone, NSError, NSPredicate, NSDictionary;

@protocol NSObject
- (BOOL)isEqual:(nullable id)object;
@end

__attribute__((objc_root_class))
@interface NSObject<NSObject>
+ (instancetype)alloc;
+ (instancetype)new;
- (instancetype)init;
@end

@protocol NSCopying
@end
@protocol NSCoding
@end
@protocol NSSecureCoding <NSCoding>
@end

typedef struct {
  unsigned long state;
  id __unsafe_unretained _Nullable* _Nullable itemsPtr;
  unsigned long* _Nullable mutationsPtr;
  unsigned long extra[5];
} NSFastEnumerationState;

@protocol NSFastEnumeration
- (NSUInteger)countByEnumeratingWithState:(NSFastEnumerationState*)state
                                  objects:(id __unsafe_unretained _Nullable[_Nonnull])buffer
                                    count:(NSUInteger)len;
@end

@interface NSString : NSObject <NSCopying, NSSecureCoding>
@property(readonly) NSUInteger length;
- (void)getCharacters:(unichar*)buffer range:(NSRange)range;
- (nullable instancetype)initWithBytes:(const void*)bytes
                                length:(NSUInteger)len
                              encoding:(NSStringEncoding)encoding;
@end

@interface NSArray<__covariant ObjectType> : NSObject <NSCopying, NSFastEnumeration>
@property(readonly) NSUInteger count;
- (ObjectType)objectAtIndex:(NSUInteger)index;
@end

@interface NSMutableArray<ObjectType> : NSArray <ObjectType>
+ (instancetype)arrayWithCapacity:(NSUInteger)numItems;
- (void)addObject:(ObjectType)anObject;
@end

typedef NSString* NSExceptionName;

@interface NSException : NSObject <NSCopying, NSSecureCoding>
@property(readonly, copy) NSExceptionName name;
@property(nullable, readonly, copy) NSString* reason;
@end

@interface NSThread : NSObject
+ (void)sleepForTimeInterval:(NSTimeInterval)ti;
@end

@interface NSError : NSObject <NSCopying, NSSecureCoding>
@property(readonly, copy) NSString* localizedDescription;
@end

@interface NSDate : NSObject <NSCopying, NSSecureCoding>
+ (instancetype)dateWithTimeIntervalSinceReferenceDate:(NSTimeInterval)ti;
@property(readonly) NSTimeInterval timeIntervalSinceReferenceDate;
- (instancetype)dateByAddingTimeInterval:(NSTimeInterval)ti API_AVAILABLE(macos(10.6), ios(2.0));
@end

@interface NSTimeZone : NSObject <NSCopying, NSSecureCoding>
+ (nullable instancetype)timeZoneWithName:(NSString*)tzName;
@property(class, readonly, copy) NSTimeZone* systemTimeZone;
+ (void)resetSystemTimeZone;
@property(readonly, copy) NSString* name;
@end

enum { NSDateComponentUndefined = NSIntegerMax };

@interface NSDateComponents : NSObject <NSCopying, NSSecureCoding>
@property(nullable, copy) NSCalendar* calendar;
@property(nullable, copy) NSTimeZone* timeZone;
@property NSInteger year;
@property NSInteger month;
@property NSInteger day;
@property NSInteger hour;
@property NSInteger minute;
@property NSInteger second;
@end

typedef NSString* NSCalendarIdentifier;
extern "C" NSCalendarIdentifier const NSCalendarIdentifierGregorian;

@interface NSCalendar : NSObject <NSCopying, NSSecureCoding>
@property(class, readonly, copy) NSCalendar* currentCalendar;
+ (nullable NSCalendar*)calendarWithIdentifier:(NSCalendarIdentifier)calendarIdentifierConstant;
@property(readonly, copy) NSCalendarIdentifier calendarIdentifier;
@property(copy) NSTimeZone* timeZone;
- (nullable NSDate*)dateFromComponents:(NSDateComponents*)comps;
@end

@interface NSPredicate : NSObject <NSSecureCoding, NSCopying>
@end

typedef NSString* NSNotificationName;

@interface NSNotification : NSObject <NSCopying, NSCoding>
@end

@interface NSOperationQueue : NSObject
@end

@interface NSNotificationCenter : NSObject
@property(class, readonly, strong) NSNotificationCenter* defaultCenter;
- (id<NSObject>)addObserverForName:(nullable NSNotificationName)name
                            object:(nullable id)obj
                             queue:(nullable NSOperationQueue*)queue
                        usingBlock:(void (^)(NSNotification* notification))block;
- (void)removeObserver:(id)observer;
@end

typedef struct {
  NSInteger majorVersion;
  NSInteger minorVersion;
  NSInteger patchVersion;
} NSOperatingSystemVersion;

@interface NSProcessInfo : NSObject
@property(class, readonly, strong) NSProcessInfo* processInfo;
@property(readonly) NSOperatingSystemVersion operatingSystemVersion;
@end

// ---- CoreFoundation: the main thread's run loop ----

typedef signed long CFIndex;
typedef unsigned long CFHashCode;
typedef unsigned char Boolean;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef struct __CFRunLoop* CFRunLoopRef;
typedef struct __CFRunLoopSource* CFRunLoopSourceRef;
typedef CFStringRef CFRunLoopMode;
typedef double CFTimeInterval;
typedef int32_t SInt32;
typedef NS_ENUM(SInt32, CFRunLoopRunResult) {
  kCFRunLoopRunFinished = 1,
  kCFRunLoopRunStopped = 2,
  kCFRunLoopRunTimedOut = 3,
  kCFRunLoopRunHandledSource = 4,
};

typedef struct {
  CFIndex version;
  void* _Nullable info;
  const void* _Nullable (*_Nullable retain)(const void* _Nullable info);
  void (*_Nullable release)(const void* _Nullable info);
  CFStringRef _Nullable (*_Nullable copyDescription)(const void* _Nullable info);
  Boolean (*_Nullable equal)(const void* _Nullable info1, const void* _Nullable info2);
  CFHashCode (*_Nullable hash)(const void* _Nullable info);
  void (*_Nullable schedule)(void* _Nullable info, CFRunLoopRef rl, CFRunLoopMode mode);
  void (*_Nullable cancel)(void* _Nullable info, CFRunLoopRef rl, CFRunLoopMode mode);
  void (*perform)(void* _Nullable info);
} CFRunLoopSourceContext;

extern "C" {
extern const CFRunLoopMode kCFRunLoopDefaultMode;
CFRunLoopRef CFRunLoopGetCurrent(void);
CFRunLoopRef CFRunLoopGetMain(void);
void CFRunLoopRun(void);
CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds,
                                      Boolean returnAfterSourceHandled);
CFRunLoopSourceRef CFRunLoopSourceCreate(CFAllocatorRef _Nullable allocator, CFIndex order,
                                         CFRunLoopSourceContext* context);
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode);
}

// ---- Dispatch (dispatch objects are Objective-C objects under ARC) ----

typedef uint64_t dispatch_time_t;
#define DISPATCH_TIME_NOW (0ull)
#define NSEC_PER_SEC 1000000000ull
typedef void (^dispatch_block_t)(void);
typedef void (*dispatch_function_t)(void* _Nullable);

@protocol OS_dispatch_object <NSObject>
@end
@protocol OS_dispatch_queue <OS_dispatch_object>
@end
@protocol OS_dispatch_queue_attr <OS_dispatch_object>
@end
@protocol OS_dispatch_semaphore <OS_dispatch_object>
@end
typedef NSObject<OS_dispatch_queue>* dispatch_queue_t;
typedef NSObject<OS_dispatch_queue>* dispatch_queue_main_t;
typedef NSObject<OS_dispatch_queue>* dispatch_queue_global_t;
typedef NSObject<OS_dispatch_queue_attr>* dispatch_queue_attr_t;
typedef NSObject<OS_dispatch_semaphore>* dispatch_semaphore_t;

typedef enum : unsigned int {
  QOS_CLASS_USER_INTERACTIVE = 0x21,
  QOS_CLASS_USER_INITIATED = 0x19,
  QOS_CLASS_DEFAULT = 0x15,
  QOS_CLASS_UTILITY = 0x11,
  QOS_CLASS_BACKGROUND = 0x09,
  QOS_CLASS_UNSPECIFIED = 0x00,
} qos_class_t;
typedef qos_class_t dispatch_qos_class_t;

#define DISPATCH_QUEUE_SERIAL NULL

extern "C" {
dispatch_queue_main_t dispatch_get_main_queue(void);
dispatch_queue_global_t dispatch_get_global_queue(intptr_t identifier, uintptr_t flags);
dispatch_queue_attr_t dispatch_queue_attr_make_with_qos_class(dispatch_queue_attr_t _Nullable attr,
                                                              dispatch_qos_class_t qos_class,
                                                              int relative_priority);
dispatch_queue_t dispatch_queue_create(const char* _Nullable label,
                                       dispatch_queue_attr_t _Nullable attr);
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);
void dispatch_sync(dispatch_queue_t queue, NS_NOESCAPE dispatch_block_t block);
dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta);
void dispatch_after(dispatch_time_t when, dispatch_queue_t queue, dispatch_block_t block);
void dispatch_queue_set_specific(dispatch_queue_t queue, const void* key, void* _Nullable context,
                                 dispatch_function_t _Nullable destructor);
void* _Nullable dispatch_get_specific(const void* key);
dispatch_semaphore_t dispatch_semaphore_create(intptr_t value) API_AVAILABLE(macos(10.6), ios(4.0));
intptr_t dispatch_semaphore_wait(dispatch_semaphore_t dsema, dispatch_time_t timeout)
    API_AVAILABLE(macos(10.6), ios(4.0));
intptr_t dispatch_semaphore_signal(dispatch_semaphore_t dsema) API_AVAILABLE(macos(10.6), ios(4.0));
}

// ---- EventKit ----

typedef NS_ENUM(NSUInteger, EKEntityType) {
  EKEntityTypeEvent,
  EKEntityTypeReminder,
};

typedef NS_ENUM(NSInteger, EKAuthorizationStatus) {
  EKAuthorizationStatusNotDetermined = 0,
  EKAuthorizationStatusRestricted,
  EKAuthorizationStatusDenied,
  EKAuthorizationStatusFullAccess API_AVAILABLE(macos(14.0), ios(17.0), macCatalyst(17.0),
                                                watchos(10.0)),
  EKAuthorizationStatusWriteOnly API_AVAILABLE(macos(14.0), ios(17.0), macCatalyst(17.0),
                                               watchos(10.0)),
};

typedef NS_ENUM(NSInteger, EKSourceType) {
  EKSourceTypeLocal,
  EKSourceTypeExchange,
  EKSourceTypeCalDAV,
  EKSourceTypeMobileMe,
  EKSourceTypeSubscribed,
  EKSourceTypeBirthdays,
};

typedef NS_ENUM(NSInteger, EKSpan) {
  EKSpanThisEvent,
  EKSpanFutureEvents,
};

typedef NS_ENUM(NSInteger, EKRecurrenceFrequency) {
  EKRecurrenceFrequencyDaily,
  EKRecurrenceFrequencyWeekly,
  EKRecurrenceFrequencyMonthly,
  EKRecurrenceFrequencyYearly,
};

@class EKEvent, EKReminder, EKEventStore, EKRecurrenceRule;

typedef void (^EKEventStoreRequestAccessCompletionHandler)(BOOL granted, NSError* _Nullable error);
typedef void (^EKEventSearchCallback)(EKEvent* event, BOOL* stop);

@interface EKObject : NSObject
@end

API_AVAILABLE(macos(10.8), ios(5.0), macCatalyst(13.1), watchos(2.0))
@interface EKSource : EKObject
@property(nonatomic, readonly) NSString* sourceIdentifier;
@property(nonatomic, readonly) EKSourceType sourceType;
@property(nonatomic, readonly) NSString* title;
@end

@interface EKCalendar : EKObject
+ (EKCalendar*)calendarForEntityType:(EKEntityType)entityType
                          eventStore:(EKEventStore*)eventStore
    API_AVAILABLE(macos(10.8), ios(6.0), macCatalyst(13.1), watchos(2.0));
@property(null_unspecified, nonatomic, strong) EKSource* source;
@property(nonatomic, readonly) NSString* calendarIdentifier;
@property(nonatomic, copy) NSString* title;
@end

API_AVAILABLE(macos(10.8), ios(4.0), macCatalyst(13.1), watchos(2.0))
@interface EKRecurrenceEnd : EKObject <NSCopying>
+ (instancetype)recurrenceEndWithOccurrenceCount:(NSUInteger)occurrenceCount;
@end

API_AVAILABLE(macos(10.8), ios(4.0), macCatalyst(13.1), watchos(2.0))
@interface EKRecurrenceRule : EKObject <NSCopying>
- (instancetype)initRecurrenceWithFrequency:(EKRecurrenceFrequency)type
                                   interval:(NSInteger)interval
                                        end:(nullable EKRecurrenceEnd*)end;
@end

@interface EKCalendarItem : EKObject
@property(nonatomic, strong, null_unspecified) EKCalendar* calendar;
@property(nonatomic, readonly) NSString* calendarItemIdentifier;
@property(nonatomic, copy, null_resettable) NSString* title;
@property(nonatomic, copy, nullable)
    NSTimeZone* timeZone API_AVAILABLE(macos(10.8), ios(5.0), macCatalyst(13.1), watchos(2.0));
- (void)addRecurrenceRule:(EKRecurrenceRule*)rule;
@end

@interface EKEvent : EKCalendarItem
+ (EKEvent*)eventWithEventStore:(EKEventStore*)eventStore;
@property(null_unspecified, nonatomic, copy) NSDate* startDate;
@property(null_unspecified, nonatomic, copy) NSDate* endDate;
@property(nonatomic, getter=isAllDay) BOOL allDay;
@end

@interface EKReminder : EKCalendarItem
+ (EKReminder*)reminderWithEventStore:(EKEventStore*)eventStore;
@property(nonatomic, getter=isCompleted) BOOL completed;
@property(nonatomic, copy, nullable) NSDateComponents* dueDateComponents;
@property(nonatomic) NSUInteger priority;
@end

@interface EKEventStore : NSObject
+ (EKAuthorizationStatus)authorizationStatusForEntityType:(EKEntityType)entityType;
- (void)requestFullAccessToEventsWithCompletion:
    (EKEventStoreRequestAccessCompletionHandler)completion
    API_AVAILABLE(macos(14.0), ios(17.0), macCatalyst(17.0), watchos(10.0));
- (void)requestFullAccessToRemindersWithCompletion:
    (EKEventStoreRequestAccessCompletionHandler)completion
    API_AVAILABLE(macos(14.0), ios(17.0), macCatalyst(17.0), watchos(10.0));
- (void)requestAccessToEntityType:(EKEntityType)entityType
                       completion:(EKEventStoreRequestAccessCompletionHandler)completion
    API_DEPRECATED("Use requestFullAccessToEvents or requestFullAccessToReminders",
                   macos(10.9, 14.0), ios(6.0, 17.0), macCatalyst(13.1, 17.0), watchos(2.0, 10.0));
- (NSArray<EKCalendar*>*)calendarsForEntityType:(EKEntityType)entityType;
- (nullable EKCalendar*)calendarWithIdentifier:(NSString*)identifier
    API_AVAILABLE(macos(10.8), ios(5.0), macCatalyst(13.1), watchos(2.0));
- (NSPredicate*)predicateForEventsWithStartDate:(NSDate*)startDate
                                        endDate:(NSDate*)endDate
                                      calendars:(nullable NSArray<EKCalendar*>*)calendars;
// Escaping in Apple's headers, although EventKit calls it only during the call.
- (void)enumerateEventsMatchingPredicate:(NSPredicate*)predicate
                              usingBlock:(EKEventSearchCallback)block;
- (NSPredicate*)predicateForIncompleteRemindersWithDueDateStarting:(nullable NSDate*)startDate
                                                            ending:(nullable NSDate*)endDate
                                                         calendars:(nullable NSArray<EKCalendar*>*)
                                                                       calendars;
- (id)fetchRemindersMatchingPredicate:(NSPredicate*)predicate
                           completion:
                               (void (^)(NSArray<EKReminder*>* _Nullable reminders))completion;
- (void)reset;
@property(nonatomic, readonly) NSArray<EKSource*>* sources API_AVAILABLE(
    macos(10.8), ios(5.0), macCatalyst(13.1), watchos(2.0));
@property(nullable, nonatomic, readonly) EKCalendar* defaultCalendarForNewEvents;
- (nullable EKCalendar*)defaultCalendarForNewReminders API_AVAILABLE(macos(10.8), ios(6.0),
                                                                     macCatalyst(13.1),
                                                                     watchos(2.0));
- (BOOL)saveCalendar:(EKCalendar*)calendar
              commit:(BOOL)commit
               error:(NSError* _Nullable* _Nullable)error
    API_AVAILABLE(macos(10.8), ios(5.0), macCatalyst(13.1));
- (BOOL)removeCalendar:(EKCalendar*)calendar
                commit:(BOOL)commit
                 error:(NSError* _Nullable* _Nullable)error
    API_AVAILABLE(macos(10.8), ios(5.0), macCatalyst(13.1));
- (BOOL)saveEvent:(EKEvent*)event
             span:(EKSpan)span
           commit:(BOOL)commit
            error:(NSError* _Nullable* _Nullable)error
    API_AVAILABLE(macos(10.8), ios(5.0), macCatalyst(13.1));
- (BOOL)removeEvent:(EKEvent*)event
               span:(EKSpan)span
             commit:(BOOL)commit
              error:(NSError* _Nullable* _Nullable)error
    API_AVAILABLE(macos(10.8), ios(5.0), macCatalyst(13.1));
- (BOOL)saveReminder:(EKReminder*)reminder
              commit:(BOOL)commit
               error:(NSError* _Nullable* _Nullable)error
    API_AVAILABLE(macos(10.8), ios(6.0), macCatalyst(13.1));
@end

extern "C" NSString* const EKEventStoreChangedNotification;

// ---- Contacts ----

typedef NS_ENUM(NSInteger, CNEntityType) {
  CNEntityTypeContacts,
};

typedef NS_ENUM(NSInteger, CNAuthorizationStatus) {
  CNAuthorizationStatusNotDetermined = 0,
  CNAuthorizationStatusRestricted,
  CNAuthorizationStatusDenied,
  CNAuthorizationStatusAuthorized,
  // Not on macOS: Apple's reference lists no macOS release for it.
  CNAuthorizationStatusLimited API_AVAILABLE(ios(18.0), macCatalyst(18.0), watchos(11.0),
                                             visionos(2.0)),
};

@protocol CNKeyDescriptor <NSObject, NSSecureCoding, NSCopying>
@end

@interface NSString (Contacts) <CNKeyDescriptor>
@end

@interface CNContainer : NSObject <NSCopying, NSSecureCoding>
@property(readonly, copy, nonatomic) NSString* identifier;
@property(readonly, copy, nonatomic) NSString* name;
@end

@interface CNContainer (Predicates)
+ (NSPredicate*)predicateForContainersWithIdentifiers:(NSArray<NSString*>*)identifiers;
@end

@interface CNContact : NSObject <NSCopying, NSSecureCoding>
@property(readonly, copy, nonatomic) NSString* identifier;
@property(readonly, copy, nonatomic) NSString* givenName;
@property(readonly, copy, nonatomic) NSString* familyName;
@property(readonly, copy, nonatomic) NSString* organizationName;
@property(readonly, copy, nonatomic) NSString* jobTitle;
+ (NSPredicate*)predicateForContactsInContainerWithIdentifier:(NSString*)containerIdentifier;
@end

API_AVAILABLE(macos(10.11), ios(9.0), macCatalyst(13.1), watchos(2.0))
@interface CNMutableContact : CNContact
@property(copy, nonatomic) NSString* givenName;
@property(copy, nonatomic) NSString* familyName;
@property(copy, nonatomic) NSString* organizationName;
@property(copy, nonatomic) NSString* jobTitle;
@end

@interface CNFetchRequest : NSObject
@end

// Not on watchOS: Apple's reference lists no watchOS release for it.
API_AVAILABLE(macos(10.11), ios(9.0), macCatalyst(13.1), visionos(1.0))
@interface CNSaveRequest : NSObject
- (void)addContact:(CNMutableContact*)contact
    toContainerWithIdentifier:(nullable NSString*)identifier;
- (void)deleteContact:(CNMutableContact*)contact;
@end

@interface CNContactFetchRequest : CNFetchRequest <NSSecureCoding>
- (instancetype)init NS_UNAVAILABLE;
+ (instancetype)new NS_UNAVAILABLE;
- (instancetype)initWithKeysToFetch:(NSArray<id<CNKeyDescriptor>>*)keysToFetch
    NS_DESIGNATED_INITIALIZER;
@property(copy, nullable) NSPredicate* predicate;
@property(copy) NSArray<id<CNKeyDescriptor>>* keysToFetch;
@property BOOL mutableObjects;
@property BOOL unifyResults;
@end

@interface CNContactStore : NSObject
+ (CNAuthorizationStatus)authorizationStatusForEntityType:(CNEntityType)entityType;
- (void)requestAccessForEntityType:(CNEntityType)entityType
                 completionHandler:
                     (void (^)(BOOL granted, NSError* _Nullable error))completionHandler;
- (nullable NSArray<CNContainer*>*)containersMatchingPredicate:(nullable NSPredicate*)predicate
                                                         error:(NSError* _Nullable* _Nullable)error;
- (BOOL)enumerateContactsWithFetchRequest:(CNContactFetchRequest*)fetchRequest
                                    error:(NSError* _Nullable* _Nullable)error
                               usingBlock:
                                   (NS_NOESCAPE void (^)(CNContact* contact, BOOL* stop))block;
- (NSString*)defaultContainerIdentifier;
- (BOOL)executeSaveRequest:(CNSaveRequest*)saveRequest
                     error:(NSError* _Nullable* _Nullable)error
    API_AVAILABLE(macos(10.11), ios(9.0), macCatalyst(13.1), visionos(1.0));
@end

extern "C" NSString* const CNContactIdentifierKey;
extern "C" NSString* const CNContactGivenNameKey;
extern "C" NSString* const CNContactFamilyNameKey;
extern "C" NSString* const CNContactOrganizationNameKey;
extern "C" NSString* const CNContactJobTitleKey;
extern "C" NSString* const CNContactStoreDidChangeNotification;

NS_ASSUME_NONNULL_END
