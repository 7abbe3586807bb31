// Authorisation on Linux desktops. There is no prompt: a service is usable when the
// session bus is reachable and shows the service's names (running or activatable). The
// status is read from the bus's own name lists, which starts no EDS service.
#pragma once

#include <optional>
#include <set>
#include <string>

#include "platform/authorization.h"

namespace pemrix::platform::eds {

// The EDS services the stores use.
enum class EdsService { calendar, addressBook };

// The well-known bus names a service needs: the source registry and its factory.
std::set<std::string> busNamesFor(EdsService service);

// What the session bus shows this process: nothing when there is no bus, otherwise the
// names that are owned or activatable.
using BusView = std::optional<std::set<std::string>>;

// How far this process may use `service`: full access when the bus shows every name it
// needs; denied when it does not and the process runs in a sandbox (whose bus proxy hides
// names it may not talk to); restricted otherwise (no bus, or no EDS on it).
Authorization accessOf(const BusView& bus, EdsService service, bool sandboxed);

// Reads the session bus's names (desktop/session_bus_names.h), owned and activatable alike.
BusView readSessionBus();

}  // namespace pemrix::platform::eds
