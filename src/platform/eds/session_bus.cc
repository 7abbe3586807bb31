// SessionBus: taking the shared session connection and turning off its exit-on-close.
#include "platform/eds/session_bus.h"

#include "platform/status.h"

namespace pemrix::platform::eds {

void SessionBus::hold() {
  if (lost()) release();
  if (connection_ != nullptr) return;
  GError* error = nullptr;
  GDBusConnection* connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (connection == nullptr) {
    Status failure = Status::unavailable(error != nullptr ? error->message : "no session bus");
    g_clear_error(&error);
    throw failure;
  }
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  if (g_dbus_connection_is_closed(connection)) {
    g_object_unref(connection);
    throw Status::unavailable("the session bus is gone");
  }
  connection_ = connection;
}

bool SessionBus::lost() const {
  return connection_ != nullptr && g_dbus_connection_is_closed(connection_);
}

void SessionBus::release() {
  if (connection_ == nullptr) return;
  g_object_unref(connection_);
  connection_ = nullptr;
}

}  // namespace pemrix::platform::eds
