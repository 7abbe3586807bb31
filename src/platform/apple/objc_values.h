// Conversions between Foundation objects and the plain values of the platform interfaces,
// shared by the macOS adapters: NSString to well-formed UTF-8 and back, NSDate to Instant
// and back, NSError and raised exceptions to a Status, and change observers tied to an
// ObserverToken.
//
// Objective-C++ with ARC; include only from .mm files. Thread safety: every function is safe
// from any thread.
#pragma once

#import <Foundation/Foundation.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/instant.h"
#include "platform/observer_token.h"
#include "platform/status.h"

NS_ASSUME_NONNULL_BEGIN

namespace pemrix::platform {

// The text as well-formed UTF-8: unpaired UTF-16 surrogates become U+FFFD; nil becomes "".
std::string utf8(NSString* _Nullable text);
// Nothing for nil; otherwise as `utf8`.
std::optional<std::string> optionalUtf8(NSString* _Nullable text);
// The UTF-8 text as a string; an ill-formed text becomes the empty string.
NSString* nsString(const std::string& text);

// The date's instant; nothing for nil and for dates beyond an Instant's range.
std::optional<Instant> instantOf(NSDate* _Nullable date);
NSDate* nsDate(Instant instant);

// Ok for nil; otherwise unavailable, with the error's description.
Status statusOfError(NSError* _Nullable error);
// The unavailable status that stands for an exception handed back by `caught` (a framework
// that raised instead of reporting an error).
Status raisedStatus(const std::exception_ptr& raised);

// Throws a C++ exception (std::runtime_error) that carries the Objective-C exception's name
// and reason; `caught` hands it back, and `raisedStatus` makes it an unavailable Status.
[[noreturn]] void throwAsCxx(NSException* exception);

// Runs `body` and returns what it returns; an Objective-C exception raised inside it comes
// out as the C++ exception of `throwAsCxx`. For every framework call that can raise.
template <typename Body>
decltype(auto) raisingAsCxx(Body&& body) {
  @try {
    return body();
  } @catch (NSException* exception) {
    throwAsCxx(exception);
  }
}

// Runs `body` and hands back, instead of throwing, whatever it threw: C++ exceptions as they
// are, Objective-C exceptions as by `throwAsCxx`. For blocks that a framework calls: no
// exception may unwind through the framework's frames, and none may end the process.
template <typename Body>
std::exception_ptr caught(Body&& body) noexcept {
  try {
    raisingAsCxx(std::forward<Body>(body));
    return nullptr;
  } catch (...) {
    return std::current_exception();
  }
}

// The state of one synchronous enumeration whose block a framework calls: the visitor, its
// stop flag, what a conversion raised (a service failure) and what the visitor threw (the
// stores' own exception, to be rethrown). `visitIf` converts one item with its own pool and
// visits it when `keep` accepts the record; after the stop flag is set, or anything was
// raised or thrown, it ignores further items.
template <typename Visitor>
struct Enumeration {
  explicit Enumeration(const Visitor& visiting) : visitor(visiting) {}

  const Visitor& visitor;
  bool stopped = false;
  std::exception_ptr raised;
  std::exception_ptr thrown;

  template <typename Convert, typename Keep>
  void visitIf(Convert&& convert, Keep&& keep) {
    if (stopped) return;
    @autoreleasepool {
      std::optional<decltype(convert())> record;
      raised = caught([&] { record.emplace(convert()); });
      if (!raised && keep(*record)) thrown = caught([&] { visitor(*record, stopped); });
    }
    if (raised || thrown) stopped = true;
  }

  template <typename Convert>
  void visit(Convert&& convert) {
    visitIf(std::forward<Convert>(convert), [](const auto&) { return true; });
  }
};

// Registers `onChange` with the default notification centre for `name` from `sender` (nil:
// any sender), delivered on the posting thread. The observer is removed when the last copy
// of the returned token goes away.
ObserverToken observeNotification(NSNotificationName name, id _Nullable sender,
                                  std::function<void()> onChange);

}  // namespace pemrix::platform

NS_ASSUME_NONNULL_END
