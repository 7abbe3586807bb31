// BridgeFailure: a failure the application receives, as a fixed code and a fixed English
// sentence. `Failure` names every failure the bridge can write; the catalogue
// (bridge_failure.cc) gives each its code and message, once, with the messages worded for
// the platform the bridge is built for.
#pragma once

#include <string_view>

namespace pemrix {

// The failure codes of the wire protocol.
enum class FailureCode {
  invalidRequest,         // "invalid_request"
  busy,                   // "busy"
  timeout,                // "timeout"
  permissionRequired,     // "permission_required"
  permissionUnavailable,  // "permission_unavailable"
  sourceUnavailable,      // "source_unavailable"
  sourceMissing,          // "source_missing"
};

// The code as the application reads it.
std::string_view wireName(FailureCode code);

enum class Failure {
  invalidRequest,            // a refused or over-long line, or a query its store refuses
  busy,                      // a second request while a store request runs
  timeout,                   // the running store request missed its deadline
  permissionRequired,        // listing or a query for a source that is not readable
  accessChanged,             // access to a calendar source withdrawn while reading it
  contactsAccessChanged,     // access to contacts withdrawn during a contact query
  permissionUnavailable,     // an access request failed and the state stayed "notDetermined"
  sourceUnavailable,         // any platform error while listing or querying
  reminderListsUnavailable,  // a reminder fetch that delivered no list
  sourceMissing,             // a requested calendar or reminder list no longer exists
  contactsSourceMissing,     // a requested contact account no longer exists
};

struct BridgeFailure {
  Failure which;

  FailureCode code() const;
  std::string_view message() const;

  static constexpr BridgeFailure invalidRequest() { return {Failure::invalidRequest}; }
  static constexpr BridgeFailure busy() { return {Failure::busy}; }
  static constexpr BridgeFailure timeout() { return {Failure::timeout}; }
  static constexpr BridgeFailure permissionRequired() { return {Failure::permissionRequired}; }
  static constexpr BridgeFailure accessChanged() { return {Failure::accessChanged}; }
  static constexpr BridgeFailure contactsAccessChanged() {
    return {Failure::contactsAccessChanged};
  }
  static constexpr BridgeFailure permissionUnavailable() {
    return {Failure::permissionUnavailable};
  }
  static constexpr BridgeFailure sourceUnavailable() { return {Failure::sourceUnavailable}; }
  static constexpr BridgeFailure reminderListsUnavailable() {
    return {Failure::reminderListsUnavailable};
  }
  static constexpr BridgeFailure sourceMissing() { return {Failure::sourceMissing}; }
  static constexpr BridgeFailure contactsSourceMissing() {
    return {Failure::contactsSourceMissing};
  }

  friend bool operator==(const BridgeFailure&, const BridgeFailure&) = default;
};

}  // namespace pemrix
