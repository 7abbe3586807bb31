// The catalogue of failures: each failure's code, the same on every platform, and its
// message, looked up in the wording the build chose (protocol/failure_wording.h).
#include "protocol/bridge_failure.h"

#include "protocol/failure_wording.h"

namespace pemrix {

namespace {

const FailureWording& entryOf(Failure failure) {
  return failureWording()[static_cast<std::size_t>(failure)];
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
  switch (which) {
    case Failure::invalidRequest:
      return FailureCode::invalidRequest;
    case Failure::busy:
      return FailureCode::busy;
    case Failure::timeout:
      return FailureCode::timeout;
    case Failure::permissionRequired:
    case Failure::accessChanged:
    case Failure::contactsAccessChanged:
      return FailureCode::permissionRequired;
    case Failure::permissionUnavailable:
      return FailureCode::permissionUnavailable;
    case Failure::sourceUnavailable:
    case Failure::reminderListsUnavailable:
      return FailureCode::sourceUnavailable;
    case Failure::sourceMissing:
    case Failure::contactsSourceMissing:
      return FailureCode::sourceMissing;
  }
  return FailureCode::invalidRequest;
}

std::string_view BridgeFailure::message() const {
  return entryOf(which).message;
}

}  // namespace pemrix
