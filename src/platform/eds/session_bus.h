// SessionBus: GLib's shared session-bus connection, which the EDS client libraries use for
// every call, held with exit-on-close turned off. GLib makes that connection raise SIGTERM
// in the process when the bus goes away; the bridge ends only by its own rules, so the
// connection is taken and the flag cleared before any EDS object exists (EDS then shares
// this one), and held while EDS objects may use it.
//
// Thread safety: GLib thread only.
#pragma once

#include <gio/gio.h>

namespace pemrix::platform::eds {

class SessionBus {
 public:
  SessionBus() = default;
  ~SessionBus() { release(); }
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  // Holds the shared connection, taking it again when the one held has closed; throws
  // an unavailable Status when there is no bus or the shared connection is still the closed one
  // (other EDS objects hold it until their next call fails).
  void hold();
  // True when a connection is held and it has closed: the bus went away.
  bool lost() const;
  bool held() const { return connection_ != nullptr; }
  void release();

 private:
  GDBusConnection* connection_ = nullptr;
};

}  // namespace pemrix::platform::eds
