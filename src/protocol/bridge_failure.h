// BridgeFailure: a failure the application receives, as a fixed code and a fixed English
// sentence. The named constructors below are the whole catalogue; every failure written
// by the bridge comes from one of them.
#pragma once

#include <string>

namespace pemrix {

struct BridgeFailure {
  std::string code;
  std::string message;

  // A refused or over-long line, or a query that fails its store's guard.
  static BridgeFailure invalidRequest();
  // A second request while a store request runs.
  static BridgeFailure busy();
  // The running store request missed its deadline.
  static BridgeFailure timeout();
  // Listing or a query for a source that is not readable.
  static BridgeFailure permissionRequired();
  // Access to a calendar source was withdrawn while listing or querying it.
  static BridgeFailure accessChanged();
  // Access to Contacts was withdrawn during a contact query.
  static BridgeFailure contactsAccessChanged();
  // An access request ended with an error and the state stayed "notDetermined".
  static BridgeFailure permissionUnavailable();
  // Any platform error while listing or querying.
  static BridgeFailure sourceUnavailable();
  // A reminder fetch that delivered no list.
  static BridgeFailure reminderListsUnavailable();
  // A requested calendar or reminder list no longer exists.
  static BridgeFailure sourceMissing();
  // A requested Contacts account no longer exists.
  static BridgeFailure contactsSourceMissing();

  friend bool operator==(const BridgeFailure&, const BridgeFailure&) = default;
};

}  // namespace pemrix
