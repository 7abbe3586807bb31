// The catalogue of failures: each failure's code and message. The messages name the
// system the bridge serves, so the Linux desktop build (over evolution-data-server) has
// its own wording; the codes are the same everywhere.
#include "protocol/bridge_failure.h"

#include <array>

namespace pemrix {

namespace {

struct Entry {
  Failure failure;
  FailureCode code;
  std::string_view message;
};

#if defined(PEMRIX_PLATFORM_EDS)
constexpr std::array<Entry, 11> kCatalogue = {{
    {Failure::invalidRequest, FailureCode::invalidRequest,
     "Choose a supported personal-source request."},
    {Failure::busy, FailureCode::busy, "A personal-source request is already running."},
    {Failure::timeout, FailureCode::timeout,
     "The desktop's calendar and contacts service took too long to respond. Try again."},
    {Failure::permissionRequired, FailureCode::permissionRequired,
     "Make this source available to Pemrix on your desktop before using it."},
    {Failure::accessChanged, FailureCode::permissionRequired,
     "Access to this source changed on your desktop."},
    {Failure::contactsAccessChanged, FailureCode::permissionRequired,
     "Access to your address books changed on your desktop."},
    {Failure::permissionUnavailable, FailureCode::permissionUnavailable,
     "The desktop could not request this permission. Try again in the installed Pemrix app."},
    {Failure::sourceUnavailable, FailureCode::sourceUnavailable,
     "The desktop's calendar and contacts service could not read the selected sources. Check "
     "that it is running and try again."},
    {Failure::reminderListsUnavailable, FailureCode::sourceUnavailable,
     "The desktop's calendar service could not read the selected task lists."},
    {Failure::sourceMissing, FailureCode::sourceMissing,
     "A selected calendar or list is no longer available. Choose your sources again."},
    {Failure::contactsSourceMissing, FailureCode::sourceMissing,
     "A selected address book is no longer available. Choose your sources again."},
}};
#else
constexpr std::array<Entry, 11> kCatalogue = {{
    {Failure::invalidRequest, FailureCode::invalidRequest,
     "Choose a supported personal-source request."},
    {Failure::busy, FailureCode::busy, "A personal-source request is already running."},
    {Failure::timeout, FailureCode::timeout, "macOS took too long to respond. Try again."},
    {Failure::permissionRequired, FailureCode::permissionRequired,
     "Allow access to this source in macOS before using it."},
    {Failure::accessChanged, FailureCode::permissionRequired,
     "Access to this source changed in macOS."},
    {Failure::contactsAccessChanged, FailureCode::permissionRequired,
     "Access to Contacts changed in macOS."},
    {Failure::permissionUnavailable, FailureCode::permissionUnavailable,
     "macOS could not request this permission. Try again in the installed Pemrix app."},
    {Failure::sourceUnavailable, FailureCode::sourceUnavailable,
     "macOS could not read the selected sources. Check access and try again."},
    {Failure::reminderListsUnavailable, FailureCode::sourceUnavailable,
     "macOS could not read the selected reminder lists."},
    {Failure::sourceMissing, FailureCode::sourceMissing,
     "A selected calendar or list is no longer available. Choose your sources again."},
    {Failure::contactsSourceMissing, FailureCode::sourceMissing,
     "A selected Contacts account is no longer available. Choose your sources again."},
}};
#endif

// The catalogue lists the failures in the order of the enumeration, so a failure's entry
// is found by its value.
constexpr bool catalogueInOrder() {
  for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
    if (static_cast<std::size_t>(kCatalogue[i].failure) != i) return false;
  }
  return true;
}
static_assert(catalogueInOrder());

const Entry& entryOf(Failure failure) {
  return kCatalogue[static_cast<std::size_t>(failure)];
}

}  // namespace

std::string_view wireName(FailureCode code) {
  switch (code) {
    case FailureCode::invalidRequest:
      return "invalid_request";
    case FailureCode::busy:
      return "busy";
    case FailureCode::timeout:
      return "timeout";
    case FailureCode::permissionRequired:
      return "permission_required";
    case FailureCode::permissionUnavailable:
      return "permission_unavailable";
    case FailureCode::sourceUnavailable:
      return "source_unavailable";
    case FailureCode::sourceMissing:
      return "source_missing";
  }
  return "invalid_request";
}

FailureCode BridgeFailure::code() const {
  return entryOf(which).code;
}

std::string_view BridgeFailure::message() const {
  return entryOf(which).message;
}

}  // namespace pemrix
