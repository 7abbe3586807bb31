// The EDS backend as a module of the Linux bridge (platform/desktop/backend_module.h).
#include "platform/desktop/backend_module.h"
#include "platform/eds/eds_system.h"

PEMRIX_BACKEND_ENTRY {
  return new pemrix::platform::EdsSystem();
}
