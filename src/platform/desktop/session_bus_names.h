// What the session bus shows this process: the well-known names that are owned (their
// service runs) and those that are activatable (the bus would start their service). The
// Linux bridge reads them at start to choose its backends, and the EDS backend to answer
// authorisation; reading them starts no service.
#pragma once

#include <optional>
#include <set>
#include <string>

namespace pemrix::platform::desktop {

struct BusNames {
  std::set<std::string> owned;
  std::set<std::string> activatable;
};

// The names, read on a thread of its own (so that no GLib call is made on the caller's);
// nothing when there is no session bus or it does not answer. Blocks for at most about two
// seconds.
std::optional<BusNames> readSessionBusNames();

// True when the process runs inside a Flatpak sandbox, whose bus proxy hides the names
// the process may not talk to.
bool runsInSandbox();

}  // namespace pemrix::platform::desktop
