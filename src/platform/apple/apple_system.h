// System (macOS): the operating system's personal-data services as the stores reach them.
// EventKit and Contacts are process-wide services, so there is nothing to hold: the object
// only gives the macOS adapters the same shape as the simulator's System.
//
// Plain C++, included by the product entry. Thread safety: holds no state; every member is
// safe from any thread.
#pragma once

namespace pemrix::platform {

class System {
 public:
  System() = default;
  System(const System&) = delete;
  System& operator=(const System&) = delete;
};

}  // namespace pemrix::platform
