// Which backends the Linux bridge loads, from what the session bus shows at start. Each
// backend is a module (a shared library beside the executable, loaded by backend_loader.h),
// so the bridge itself links none of their libraries: a desktop without Qt never loads the
// Akonadi backend, one without evolution-data-server never loads that one.
//
// The rule: evolution-data-server serves when its source registry is running or the bus can
// start it (GNOME starts it on demand); Akonadi serves when its control service is running
// (the bridge never starts a user's Akonadi, which is heavy, nor sets off its first-run
// defaults). When neither serves, the EDS backend is loaded anyway, to say why nothing can
// be read (no bus, no store, or a sandbox that hides it).
#pragma once

#include <optional>
#include <vector>

#include "platform/desktop/session_bus_names.h"

namespace pemrix::platform::desktop {

// The well-known bus names the choice reads.
inline constexpr char kEdsRegistryName[] = "org.gnome.evolution.dataserver.Sources5";
inline constexpr char kAkonadiControlName[] = "org.freedesktop.Akonadi.Control";

struct BackendModule {
  const char* file;      // the module's file name, found beside the executable
  const char* idPrefix;  // what its source identifiers begin with (desktop_system.h)
};

inline constexpr BackendModule kEdsModule{"pemrix-backend-eds.so", ""};
inline constexpr BackendModule kAkonadiModule{"pemrix-backend-akonadi.so", "akonadi:"};

// The modules to load, in the order their sources are listed; `names` is nothing when there
// is no session bus.
std::vector<BackendModule> chooseBackends(const std::optional<BusNames>& names);

}  // namespace pemrix::platform::desktop
