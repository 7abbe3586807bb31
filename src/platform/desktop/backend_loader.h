// Loads the backends of a Linux desktop at start: silences GLib (the bus is read through
// GIO), reads the session bus's names, chooses the backends (backend_choice.h) and loads
// each one's module from beside the executable. A module that cannot be loaded (its
// libraries are not installed) is left out, silently.
#pragma once

#include <vector>

#include "platform/desktop/desktop_system.h"

namespace pemrix::platform::desktop {

std::vector<DesktopBackend> loadBackends();

}  // namespace pemrix::platform::desktop
