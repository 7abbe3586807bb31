// The exit statuses of the bridge and the simulator.
#pragma once

namespace pemrix {

enum class ExitStatus : int {
  orderly = 0,        // end of input, "shutdown", the deadline, the idle timer, a closed pipe
  usage = 64,         // started with arguments
  unwritable = 65,    // a message that cannot be serialised or is over the output limit
  badWorldFile = 78,  // the simulator's world file cannot be used (the simulator only)
};

constexpr int code(ExitStatus status) {
  return static_cast<int>(status);
}

}  // namespace pemrix
