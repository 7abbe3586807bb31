// Reading the session bus's name lists (ListNames, ListActivatableNames) over GIO. The
// shared session connection is made on first use; no service is activated.
#include "platform/desktop/session_bus_names.h"

#include <thread>

#include <gio/gio.h>
#include <unistd.h>

namespace pemrix::platform::desktop {

namespace {

constexpr int kBusCallTimeoutMs = 1000;

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

std::optional<BusNames> readOnThisThread() {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus == nullptr) return std::nullopt;
  // GLib's shared connection raises SIGTERM in the process when the bus goes away; the
  // bridge ends only by its own rules.
  g_dbus_connection_set_exit_on_close(bus, FALSE);
  BusNames names;
  bool listed = addNames(bus, "ListNames", names.owned) &&
                addNames(bus, "ListActivatableNames", names.activatable);
  g_object_unref(bus);
  if (!listed) return std::nullopt;
  return names;
}

}  // namespace

std::optional<BusNames> readSessionBusNames() {
  std::optional<BusNames> names;
  std::thread([&names] { names = readOnThisThread(); }).join();
  return names;
}

bool runsInSandbox() {
  // Flatpak marks every sandbox with this file; only its presence is checked.
  return ::access("/.flatpak-info", F_OK) == 0;
}

}  // namespace pemrix::platform::desktop
