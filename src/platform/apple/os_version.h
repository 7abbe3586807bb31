// The running macOS version, which picks the EventKit access request
// (platform/apple/apple_authorization.h).
#pragma once

#include "platform/apple/apple_authorization.h"

namespace pemrix::platform {

OsVersion runningOsVersion();

}  // namespace pemrix::platform
