// Authorisation over Akonadi. A KDE desktop asks no consent: the store is usable when the
// session bus shows Akonadi's control service, running or activatable. The status is read
// from the bus driver's own answers, which starts nothing.
//
// Thread safety: Qt thread only.
#pragma once

#include "platform/authorization.h"

namespace pemrix::platform::akonadi {

// Full access when the session bus shows Akonadi's control service (owned or
// activatable); restricted without a session bus or without Akonadi on it.
Authorization busAccess();

}  // namespace pemrix::platform::akonadi
