// The catalogue of failure codes and messages.
#include "protocol/bridge_failure.h"

namespace pemrix {

BridgeFailure BridgeFailure::invalidRequest() {
  return {"invalid_request", "Choose a supported personal-source request."};
}
BridgeFailure BridgeFailure::busy() {
  return {"busy", "A personal-source request is already running."};
}
BridgeFailure BridgeFailure::timeout() {
  return {"timeout", "macOS took too long to respond. Try again."};
}
BridgeFailure BridgeFailure::permissionRequired() {
  return {"permission_required", "Allow access to this source in macOS before using it."};
}
BridgeFailure BridgeFailure::accessChanged() {
  return {"permission_required", "Access to this source changed in macOS."};
}
BridgeFailure BridgeFailure::contactsAccessChanged() {
  return {"permission_required", "Access to Contacts changed in macOS."};
}
BridgeFailure BridgeFailure::permissionUnavailable() {
  return {"permission_unavailable",
          "macOS could not request this permission. Try again in the installed Pemrix app."};
}
BridgeFailure BridgeFailure::sourceUnavailable() {
  return {"source_unavailable",
          "macOS could not read the selected sources. Check access and try again."};
}
BridgeFailure BridgeFailure::reminderListsUnavailable() {
  return {"source_unavailable", "macOS could not read the selected reminder lists."};
}
BridgeFailure BridgeFailure::sourceMissing() {
  return {"source_missing",
          "A selected calendar or list is no longer available. Choose your sources again."};
}
BridgeFailure BridgeFailure::contactsSourceMissing() {
  return {"source_missing",
          "A selected Contacts account is no longer available. Choose your sources again."};
}

}  // namespace pemrix
