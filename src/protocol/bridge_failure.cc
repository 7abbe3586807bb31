// The catalogue of failures: each failure's code and message, looked up in the wording the
// build chose (protocol/failure_wording.h); the codes are the same everywhere.
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
  return entryOf(which).code;
}

std::string_view BridgeFailure::message() const {
  return entryOf(which).message;
}

}  // namespace pemrix
