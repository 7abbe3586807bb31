// Reading the session bus for Akonadi's control service: NameHasOwner, then
// ListActivatableNames, each with a short time-out.
#include "platform/akonadi/bus_access.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariant>

namespace pemrix::platform::akonadi {

namespace {

constexpr int kBusCallTimeoutMs = 1000;

const char* const kControlName = "org.freedesktop.Akonadi.Control";

// The reply of the bus driver's `method` with `arguments`; an error reply when it failed.
QDBusMessage askBus(QDBusConnection& bus, const char* method, const QList<QVariant>& arguments) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QString::fromLatin1(method));
  call.setArguments(arguments);
  return bus.call(call, QDBus::Block, kBusCallTimeoutMs);
}

bool firstArgumentIsTrue(const QDBusMessage& reply) {
  return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
         reply.arguments().first().toBool();
}

}  // namespace

Authorization busAccess() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return Authorization::restricted;
  const QString name = QString::fromLatin1(kControlName);
  if (firstArgumentIsTrue(askBus(bus, "NameHasOwner", {name}))) return Authorization::fullAccess;
  QDBusMessage listed = askBus(bus, "ListActivatableNames", {});
  if (listed.type() == QDBusMessage::ReplyMessage && !listed.arguments().isEmpty() &&
      listed.arguments().first().toStringList().contains(name)) {
    return Authorization::fullAccess;
  }
  return Authorization::restricted;
}

}  // namespace pemrix::platform::akonadi
