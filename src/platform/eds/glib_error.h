// The one conversion of a GLib error into a Status, for every EDS call that reports one: a
// source that is no longer there is gone, any other failure leaves the service unavailable.
#pragma once

#include <glib.h>

#include "platform/status.h"

namespace pemrix::platform::eds {

// Whether `error` says that the source a call named no longer exists (a removed calendar,
// task list or address book).
bool namesGoneSource(const GError* error);

// The Status of `error`, which is cleared, with its message, or `fallback` when the call
// set none.
Status takeError(GError*& error, const char* fallback);

}  // namespace pemrix::platform::eds
