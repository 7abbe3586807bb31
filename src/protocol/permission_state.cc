// The wire names of the permission states.
#include "protocol/permission_state.h"

namespace pemrix {

std::string_view wireName(PermissionState state) {
  switch (state) {
    case PermissionState::notDetermined:
      return "notDetermined";
    case PermissionState::restricted:
      return "restricted";
    case PermissionState::denied:
      return "denied";
    case PermissionState::fullAccess:
      return "fullAccess";
    case PermissionState::writeOnly:
      return "writeOnly";
    case PermissionState::limited:
      return "limited";
    case PermissionState::unknown:
      return "unknown";
  }
  return "unknown";
}

}  // namespace pemrix
