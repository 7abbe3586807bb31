// pemrix-bridge-sim: the bridge over the simulator. It behaves as the bridge
// does, serving simulated stores: the world file named by PEMRIX_BRIDGE_WORLD, or a
// built-in demonstration world. A world file that cannot be used ends it with status 78
// and one line on stderr, its only output there.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>

#include "channel/process_entry.h"
#include "sim/simulated_system.h"
#include "sim/world.h"

namespace {

pemrix::platform::World worldOrExit(pemrix::platform::SimClock& clock) {
  const char* path = std::getenv("PEMRIX_BRIDGE_WORLD");
  if (path == nullptr || *path == '\0') return pemrix::platform::demoWorld(clock.now());
  auto loaded = pemrix::platform::loadWorldFile(path);
  if (auto* problem = std::get_if<std::string>(&loaded)) {
    std::fprintf(stderr, "pemrix-bridge-sim: %s\n", problem->c_str());
    std::exit(pemrix::code(pemrix::ExitStatus::badWorldFile));
  }
  return std::get<pemrix::platform::World>(std::move(loaded));
}

}  // namespace

int main(int argc, char** /*argv*/) {
  pemrix::ignoreBrokenPipes();
  if (!pemrix::startedWithoutArguments(argc)) return pemrix::code(pemrix::ExitStatus::usage);
  auto* clock = new pemrix::platform::SystemSimClock();
  auto* system = new pemrix::platform::SimulatedSystem(worldOrExit(*clock), *clock);
  pemrix::serve(*system, *clock);
}
