// System: the operating system's personal-data services as one object that the stores
// reach them through. Portable code only passes it on, so it needs no more than this
// declaration; each implementation defines it in its own header, which the product entry
// and the adapters include:
//   - platform/apple/apple_system.h: holds nothing (EventKit and Contacts are process-wide);
//   - platform/eds/eds_system.h: holds the EDS source registry (Linux desktops);
//   - sim/simulated_system.h: the simulator's world, authorisation states and call record.
#pragma once

namespace pemrix::platform {

class System;

}  // namespace pemrix::platform
