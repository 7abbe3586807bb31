// The failure messages of the macOS bridge and of the simulator, which stands in for it: they
// name macOS and its Contacts app.
#include "protocol/failure_wording.h"

namespace pemrix {

namespace {

constexpr std::array<FailureWording, kFailureCount> kWording = {{
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
static_assert(inEnumerationOrder(kWording));

}  // namespace

std::span<const FailureWording> failureWording() {
  return kWording;
}

}  // namespace pemrix
