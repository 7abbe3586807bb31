// Start-up of the bridge process: the main queue, the bridge and the input reader.
#include "channel/process_entry.h"

#include <csignal>

#include <unistd.h>

#include "bridge/native_bridge.h"
#include "channel/input_reader.h"
#include "channel/output.h"
#include "platform/main_queue.h"
#include "platform/serial_queue.h"

namespace pemrix {

void ignoreBrokenPipes() {
  std::signal(SIGPIPE, SIG_IGN);
}

bool startedWithoutArguments(int argc) {
  return argc == 1;
}

void serve(platform::System& system, platform::Clock& clock) {
  // Both live until the process ends; neither is ever destroyed.
  auto* mainQueue = new platform::MainQueue(clock);
  auto* bridge = new NativeBridge(BridgeEnvironment{
      *mainQueue, clock, system,
      [](std::string_view bytes) { return writeAll(STDOUT_FILENO, bytes); },
      // Every message is already on the pipe: nothing is left to flush or tear down.
      [](int status) { ::_exit(status); }});
  platform::runInBackground([mainQueue, bridge] { readInput(STDIN_FILENO, *mainQueue, *bridge); });
  mainQueue->run();
}

}  // namespace pemrix
