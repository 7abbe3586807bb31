// The simulator's operating-system version: a system new enough for the
// full-access calendar requests.
#include "platform/os_version.h"

namespace pemrix::platform {

OsVersion runningOsVersion() {
  return OsVersion{14, 0, 0};
}

}  // namespace pemrix::platform
