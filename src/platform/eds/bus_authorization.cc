// Authorisation of the EDS services from the names the session bus shows.
#include "platform/eds/bus_authorization.h"

#include "platform/desktop/backend_choice.h"
#include "platform/desktop/session_bus_names.h"

namespace pemrix::platform::eds {

namespace {

const char* const kRegistryName = desktop::kEdsRegistryName;
const char* const kCalendarFactoryName = "org.gnome.evolution.dataserver.Calendar8";
const char* const kAddressBookFactoryName = "org.gnome.evolution.dataserver.AddressBook10";

}  // namespace

std::set<std::string> busNamesFor(EdsService service) {
  return {kRegistryName,
          service == EdsService::calendar ? kCalendarFactoryName : kAddressBookFactoryName};
}

Authorization accessOf(const BusView& bus, EdsService service, bool sandboxed) {
  if (!bus) return Authorization::restricted;
  for (const std::string& name : busNamesFor(service)) {
    if (!bus->contains(name)) return sandboxed ? Authorization::denied : Authorization::restricted;
  }
  return Authorization::fullAccess;
}

BusView readSessionBus() {
  std::optional<desktop::BusNames> names = desktop::readSessionBusNames();
  if (!names) return std::nullopt;
  std::set<std::string> shown = names->owned;
  shown.insert(names->activatable.begin(), names->activatable.end());
  return shown;
}

}  // namespace pemrix::platform::eds
