// The running macOS version, from the process information.
#include "platform/apple/os_version.h"

#import <Foundation/Foundation.h>

namespace pemrix::platform {

OsVersion runningOsVersion() {
  NSOperatingSystemVersion version = [NSProcessInfo processInfo].operatingSystemVersion;
  return OsVersion{version.majorVersion, version.minorVersion, version.patchVersion};
}

}  // namespace pemrix::platform
