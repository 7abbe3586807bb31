// pemrix-bridge: the bridge over the system's calendar and contact services: EventKit and
// Contacts on macOS; on Linux desktops, the stores the session bus shows at start
// (evolution-data-server, Akonadi), each loaded as a module. The Pemrix app starts it
// without arguments and talks to it over standard input and output; it writes nothing
// anywhere else.
#include "channel/process_entry.h"
#include "platform/clock.h"
#if defined(PEMRIX_PLATFORM_APPLE)
#include "platform/apple/apple_system.h"
#else
#include "platform/desktop/backend_loader.h"
#endif

int main(int argc, char** /*argv*/) {
  pemrix::ignoreBrokenPipes();
  if (!pemrix::startedWithoutArguments(argc)) return pemrix::code(pemrix::ExitStatus::usage);
  // Both live until the process ends; neither is ever destroyed.
  auto* clock = new pemrix::platform::SystemClock();
#if defined(PEMRIX_PLATFORM_APPLE)
  auto* system = new pemrix::platform::AppleSystem();
#else
  auto* system = new pemrix::platform::DesktopSystem(pemrix::platform::desktop::loadBackends());
#endif
  pemrix::serve(*system, *clock);
}
