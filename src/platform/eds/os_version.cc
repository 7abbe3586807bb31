// The operating-system version on Linux desktops. EDS has no access request, so the rule
// that picks one never matters here; the version reported is one that takes the
// full-access path, as on current macOS.
#include "platform/os_version.h"

namespace pemrix::platform {

OsVersion runningOsVersion() {
  return OsVersion{14, 0, 0};
}

}  // namespace pemrix::platform
