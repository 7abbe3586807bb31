// PermissionState: whether the user let the bridge read an entity, as the application sees
// it, and the state's wire name.
#pragma once

#include <string_view>

namespace pemrix {

enum class PermissionState {
  notDetermined,  // never asked
  restricted,     // the device's policy forbids access
  denied,         // the user refused
  fullAccess,     // readable
  writeOnly,      // calendars only: may add events but not read them
  limited,        // contacts only: a subset the user chose, readable
  unknown,        // a status this build does not know, or the system could not tell
};

// "notDetermined", "restricted", "denied", "fullAccess", "writeOnly", "limited" or
// "unknown".
std::string_view wireName(PermissionState state);

}  // namespace pemrix
