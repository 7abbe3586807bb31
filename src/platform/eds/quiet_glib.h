// Keeps GLib, GIO, libical and the EDS client libraries off standard error: their default
// log and print handlers write there, and the bridge writes nothing there on any platform.
#pragma once

namespace pemrix::platform::eds {

// Replaces every GLib log, structured-log and print handler with one that drops the
// message, and makes libical's errors non-fatal. Idempotent; call before any other GLib use.
void silenceGlibOutput();

}  // namespace pemrix::platform::eds
