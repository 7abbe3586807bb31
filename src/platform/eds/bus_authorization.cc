// Reading the session bus's name lists (ListNames, ListActivatableNames) over GIO. The
// shared session connection is made on first use; no EDS service is activated.
#include "platform/eds/bus_authorization.h"

#include <thread>

#include <gio/gio.h>
#include <unistd.h>

namespace pemrix::platform::eds {

namespace {

constexpr int kBusCallTimeoutMs = 1000;

const char* const kRegistryName = "org.gnome.evolution.dataserver.Sources5";
const char* const kCalendarFactoryName = "org.gnome.evolution.dataserver.Calendar8";
const char* const kAddressBookFactoryName = "org.gnome.evolution.dataserver.AddressBook10";

// Adds the names that the bus driver's method `method` lists; false when the call failed.
bool addNames(GDBusConnection* bus, const char* method, std::set<std::string>& names) {
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method, nullptr,
      G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, kBusCallTimeoutMs, nullptr, nullptr);
  if (reply == nullptr) return false;
  GVariantIter* iter = nullptr;
  const gchar* name = nullptr;
  g_variant_get(reply, "(as)", &iter);
  while (g_variant_iter_loop(iter, "&s", &name)) names.insert(name);
  g_variant_iter_free(iter);
  g_variant_unref(reply);
  return true;
}

BusView readOnThisThread() {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus == nullptr) return std::nullopt;
  std::set<std::string> names;
  bool listed = addNames(bus, "ListNames", names) && addNames(bus, "ListActivatableNames", names);
  g_object_unref(bus);
  if (!listed) return std::nullopt;
  return names;
}

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
  BusView view;
  std::thread([&view] { view = readOnThisThread(); }).join();
  return view;
}

bool runsInSandbox() {
  // Flatpak marks every sandbox with this file; only its presence is checked.
  return ::access("/.flatpak-info", F_OK) == 0;
}

}  // namespace pemrix::platform::eds
