// Process entry: the start-up steps shared by the bridge and the simulator executables.
// The executable's `main` ignores SIGPIPE, refuses arguments, prepares its platform
// (the simulator loads its world), then hands the process to `serve`.
#pragma once

#include "common/exit_status.h"
#include "platform/clock.h"
#include "platform/system.h"

namespace pemrix {

// Exit status for a start with command-line arguments.

// Writes to a closed pipe then fail with an error instead of killing the process.
void ignoreBrokenPipes();

// True when the process was started with no argument besides its own path.
bool startedWithoutArguments(int argc);

// Creates the bridge, starts the input reader on a background thread and gives the main
// thread to the main queue. Never returns: the process ends through the bridge.
[[noreturn]] void serve(platform::System& system, platform::Clock& clock);

}  // namespace pemrix
