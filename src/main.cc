// pemrix-bridge: the bridge over the system's calendar and contact services: EventKit and
// Contacts on macOS, evolution-data-server on Linux desktops (the build picks one). The
// Pemrix app starts it without arguments and talks to it over standard input and output;
// it writes nothing anywhere else.
#include "channel/process_entry.h"
#include "platform/clock.h"
#if defined(PEMRIX_PLATFORM_APPLE)
#include "platform/apple/apple_system.h"
#else
#include "platform/eds/eds_system.h"
#endif

int main(int argc, char** /*argv*/) {
  pemrix::ignoreBrokenPipes();
  if (!pemrix::startedWithoutArguments(argc)) return pemrix::code(pemrix::ExitStatus::usage);
  // Both live until the process ends; neither is ever destroyed.
  auto* clock = new pemrix::platform::SystemClock();
#if defined(PEMRIX_PLATFORM_APPLE)
  auto* system = new pemrix::platform::AppleSystem();
#else
  auto* system = new pemrix::platform::EdsSystem();
#endif
  pemrix::serve(*system, *clock);
}
