// The catalogue of failure codes and messages; the sentences that name the platform come
// from failure_wording.h.
#include "protocol/bridge_failure.h"

#include "protocol/failure_wording.h"

namespace pemrix {

BridgeFailure BridgeFailure::invalidRequest() {
  return {"invalid_request", "Choose a supported personal-source request."};
}
BridgeFailure BridgeFailure::busy() {
  return {"busy", "A personal-source request is already running."};
}
BridgeFailure BridgeFailure::timeout() {
  return {"timeout", wording::kTimeout};
}
BridgeFailure BridgeFailure::permissionRequired() {
  return {"permission_required", wording::kPermissionRequired};
}
BridgeFailure BridgeFailure::accessChanged() {
  return {"permission_required", wording::kAccessChanged};
}
BridgeFailure BridgeFailure::contactsAccessChanged() {
  return {"permission_required", wording::kContactsAccessChanged};
}
BridgeFailure BridgeFailure::permissionUnavailable() {
  return {"permission_unavailable", wording::kPermissionUnavailable};
}
BridgeFailure BridgeFailure::sourceUnavailable() {
  return {"source_unavailable", wording::kSourceUnavailable};
}
BridgeFailure BridgeFailure::reminderListsUnavailable() {
  return {"source_unavailable", wording::kReminderListsUnavailable};
}
BridgeFailure BridgeFailure::sourceMissing() {
  return {"source_missing",
          "A selected calendar or list is no longer available. Choose your sources again."};
}
BridgeFailure BridgeFailure::contactsSourceMissing() {
  return {"source_missing", wording::kContactsSourceMissing};
}

}  // namespace pemrix
