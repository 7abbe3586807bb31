// The one function a backend module exports: it makes the backend's System, which the
// caller owns. The bridge and its modules are built together from one tree, so the System
// crosses as the C++ object it is; the versioned name keeps a module of another build from
// being taken for one of this.
#pragma once

#include "platform/system.h"

namespace pemrix::platform::desktop {

using BackendEntry = System* (*)();
inline constexpr char kBackendEntryName[] = "pemrix_backend_open_v1";

}  // namespace pemrix::platform::desktop

// Defines the entry of a module: PEMRIX_BACKEND_ENTRY { return new ThisSystem(); }
#define PEMRIX_BACKEND_ENTRY                                                  \
  extern "C" __attribute__((visibility("default"))) pemrix::platform::System* \
  pemrix_backend_open_v1()
