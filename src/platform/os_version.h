// The running operating system's version, and the rule that picks the calendar access
// request: systems from 14.0.0 on ask for full access per entity type; older ones use the
// generic request for an entity type.
#pragma once

namespace pemrix::platform {

struct OsVersion {
  long major = 0;
  long minor = 0;
  long patch = 0;
};

// The running system's version (the simulator reports 14.0.0).
OsVersion runningOsVersion();

// True when `version` is 14.0.0 or later.
constexpr bool usesFullAccessRequests(OsVersion version) {
  return version.major >= 14;
}

}  // namespace pemrix::platform
