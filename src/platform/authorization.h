// Authorization: how far the user lets this process read one personal-data service, as
// every platform adapter reports it, and whether that lets the service be read. Each adapter
// maps its system's own values onto these (macOS's raw statuses in
// apple/apple_authorization.h, the session bus on Linux desktops, world files in the
// simulator).
#pragma once

namespace pemrix::platform {

enum class Authorization {
  notDetermined,  // the user was never asked
  restricted,     // the system or a profile does not let the user allow it
  denied,         // the user refused
  fullAccess,     // the data can be read
  writeOnly,      // calendars only: events may be added, nothing read
  limited,        // contacts only: the contacts the user picked can be read
  unknown,        // a value this build does not know (a newer system's)
};

// Whether the service can be read: full access, or limited (the contacts the user picked).
// The one test of readability for the stores, the adapters and the simulator.
constexpr bool allowsReading(Authorization authorization) {
  return authorization == Authorization::fullAccess || authorization == Authorization::limited;
}

}  // namespace pemrix::platform
