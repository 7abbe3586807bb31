// Instants and wall-clock times written as calendar fields, for tests of zones and of the
// wall-time rule.
#pragma once

#include <chrono>

namespace pemrix::testing {

inline std::chrono::sys_seconds utc(int y, unsigned m, unsigned d, int h, int min) {
  using namespace std::chrono;
  return sys_days(year(y) / m / d) + hours(h) + minutes(min);
}

inline std::chrono::local_seconds local(int y, unsigned m, unsigned d, int h, int min) {
  using namespace std::chrono;
  return local_days(year(y) / m / d) + hours(h) + minutes(min);
}

}  // namespace pemrix::testing
