// Conversions between Foundation objects and plain values, failures as a Status, and
// notification observers for the macOS adapters.
#include "platform/apple/objc_values.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/apple/apple_conversions.h"
#include "platform/observer_registry.h"

namespace pemrix::platform {

namespace {

// One observer of the default notification centre, whose block calls the bridge's callback
// through an ObserverRegistry: the centre does not wait for a block running on another
// thread when an observer is removed, the registry does. When destroyed it releases the
// callback first (so it is neither running nor called again), then leaves the centre.
class NotificationObserver {
 public:
  NotificationObserver(ObserverToken registered, id<NSObject> token)
      : registered_(std::move(registered)), token_(token) {}
  // A destructor must not throw, and nothing may reach standard error: an exception raised
  // while removing the observer is dropped.
  ~NotificationObserver() {
    registered_ = ObserverToken();
    @try {
      [[NSNotificationCenter defaultCenter] removeObserver:token_];
    } @catch (NSException*) {
    }
  }
  NotificationObserver(const NotificationObserver&) = delete;
  NotificationObserver& operator=(const NotificationObserver&) = delete;

 private:
  ObserverToken registered_;
  id<NSObject> token_;
};

}  // namespace

std::string utf8(NSString* _Nullable text) {
  if (text == nil) return std::string();
  const NSUInteger length = text.length;
  std::vector<unichar> units(length);
  if (length > 0) [text getCharacters:units.data() range:NSMakeRange(0, length)];
  return utf8FromUtf16(std::u16string(units.begin(), units.end()));
}

std::optional<std::string> optionalUtf8(NSString* _Nullable text) {
  if (text == nil) return std::nullopt;
  return utf8(text);
}

NSString* nsString(const std::string& text) {
  NSString* converted = [[NSString alloc] initWithBytes:text.data()
                                                 length:text.size()
                                               encoding:NSUTF8StringEncoding];
  return converted != nil ? converted : [[NSString alloc] init];
}

std::optional<Instant> instantOf(NSDate* _Nullable date) {
  if (date == nil) return std::nullopt;
  return instantFromReferenceSeconds(date.timeIntervalSinceReferenceDate);
}

NSDate* nsDate(Instant instant) {
  return [NSDate dateWithTimeIntervalSinceReferenceDate:referenceSecondsFromInstant(instant)];
}

Status statusOfError(NSError* _Nullable error) {
  if (error == nil) return Status();
  return Status::unavailable(utf8(error.localizedDescription));
}

Status raisedStatus(const std::exception_ptr& raised) {
  try {
    std::rethrow_exception(raised);
  } catch (const std::exception& error) {
    return Status::unavailable(error.what());
  } catch (...) {
    return Status::unavailable("The service raised an exception.");
  }
}

void throwAsCxx(NSException* exception) {
  throw std::runtime_error(utf8(exception.name) + ": " + utf8(exception.reason));
}

ObserverToken observeNotification(NSNotificationName name, id _Nullable sender,
                                  std::function<void()> onChange) {
  auto registry = std::make_shared<ObserverRegistry>();
  ObserverToken registered = registry->add(std::move(onChange));
  id<NSObject> token = [[NSNotificationCenter defaultCenter]
      addObserverForName:name
                  object:sender
                   queue:nil
              usingBlock:^(NSNotification*) {  // the contents are never read
                // Delivered on the posting thread, which may be the main thread's run loop
                // outside Dispatch: the pool keeps what the callback autoreleases from
                // piling up there. A failure of the callback ends only this delivery.
                @autoreleasepool {
                  (void)caught([&] { registry->notify(); });
                }
              }];
  return ObserverToken(std::make_shared<NotificationObserver>(std::move(registered), token));
}

}  // namespace pemrix::platform
