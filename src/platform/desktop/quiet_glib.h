// Keeps GLib and everything that logs through it (GIO, the EDS client libraries) off
// standard error: their default log and print handlers write there, and the bridge writes
// nothing there on any platform.
#pragma once

namespace pemrix::platform::desktop {

// Replaces every GLib log, structured-log and print handler with one that drops the
// message. Idempotent; call before any other GLib use.
void silenceGlibOutput();

}  // namespace pemrix::platform::desktop
