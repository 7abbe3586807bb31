// The one conversion of a GLib error into the platform's error, for every EDS call that
// reports one.
#pragma once

#include <glib.h>

#include "platform/platform_error.h"

namespace pemrix::platform::eds {

// The message of `error`, which is cleared, or `fallback` when the call set none.
inline PlatformError takeError(GError*& error, const char* fallback) {
  PlatformError failure{error != nullptr ? error->message : fallback};
  g_clear_error(&error);
  return failure;
}

}  // namespace pemrix::platform::eds
