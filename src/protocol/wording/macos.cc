// The failure messages of the macOS bridge and of the simulator, which stands in for it: they
// name macOS and its Contacts app.
#include "protocol/failure_wording.h"

namespace pemrix {

namespace {

constexpr std::array<FailureWording, kFailureCount> kWording = {{
    {Failure::invalidRequest, "Choose a supported personal-source request."},
    {Failure::busy, "A personal-source request is already running."},
    {Failure::timeout, "macOS took too long to respond. Try again."},
    {Failure::permissionRequired, "Allow access to this source in macOS before using it."},
    {Failure::accessChanged, "Access to this source changed in macOS."},
    {Failure::contactsAccessChanged, "Access to Contacts changed in macOS."},
    {Failure::permissionUnavailable,
     "macOS could not request this permission. Try again in the installed Pemrix app."},
    {Failure::sourceUnavailable,
     "macOS could not read the selected sources. Check access and try again."},
    {Failure::reminderListsUnavailable, "macOS could not read the selected reminder lists."},
    {Failure::sourceMissing,
     "A selected calendar or list is no longer available. Choose your sources again."},
    {Failure::contactsSourceMissing,
     "A selected Contacts account is no longer available. Choose your sources again."},
}};
static_assert(inEnumerationOrder(kWording));

}  // namespace

std::span<const FailureWording> failureWording() {
  return kWording;
}

}  // namespace pemrix
