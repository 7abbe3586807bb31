// The failure messages of the bridge on Linux desktops (over evolution-data-server): they
// name the desktop and its calendar and contacts service.
#include "protocol/failure_wording.h"

namespace pemrix {

namespace {

constexpr std::array<FailureWording, kFailureCount> kWording = {{
    {Failure::invalidRequest, "Choose a supported personal-source request."},
    {Failure::busy, "A personal-source request is already running."},
    {Failure::timeout,
     "The desktop's calendar and contacts service took too long to respond. Try again."},
    {Failure::permissionRequired,
     "Make this source available to Pemrix on your desktop before using it."},
    {Failure::accessChanged, "Access to this source changed on your desktop."},
    {Failure::contactsAccessChanged, "Access to your address books changed on your desktop."},
    {Failure::permissionUnavailable,
     "The desktop could not request this permission. Try again in the installed Pemrix app."},
    {Failure::sourceUnavailable,
     "The desktop's calendar and contacts service could not read the selected sources. Check "
     "that it is running and try again."},
    {Failure::reminderListsUnavailable,
     "The desktop's calendar service could not read the selected task lists."},
    {Failure::sourceMissing,
     "A selected calendar or list is no longer available. Choose your sources again."},
    {Failure::contactsSourceMissing,
     "A selected address book is no longer available. Choose your sources again."},
}};
static_assert(inEnumerationOrder(kWording));

}  // namespace

std::span<const FailureWording> failureWording() {
  return kWording;
}

}  // namespace pemrix
