// The Akonadi backend as a module of the Linux bridge (platform/desktop/backend_module.h).
#include "platform/akonadi/akonadi_system.h"
#include "platform/desktop/backend_module.h"

PEMRIX_BACKEND_ENTRY {
  return new pemrix::platform::AkonadiSystem();
}
