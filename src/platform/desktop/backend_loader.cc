// Loading backend modules with the dynamic loader. A module is looked up by its file name
// alone, so the loader searches the executable's run path, which names the executable's
// own folder. Loaded modules stay loaded until the process ends.
#include "platform/desktop/backend_loader.h"

#include <dlfcn.h>

#include <memory>

#include "platform/desktop/backend_choice.h"
#include "platform/desktop/backend_module.h"
#include "platform/desktop/quiet_glib.h"

namespace pemrix::platform::desktop {

namespace {

std::unique_ptr<System> open(const BackendModule& module) {
  void* handle = dlopen(module.file, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  auto entry = reinterpret_cast<BackendEntry>(dlsym(handle, kBackendEntryName));
  if (entry == nullptr) {
    dlclose(handle);
    return nullptr;
  }
  return std::unique_ptr<System>(entry());
}

}  // namespace

std::vector<DesktopBackend> loadBackends() {
  silenceGlibOutput();
  std::vector<DesktopBackend> backends;
  for (const BackendModule& module : chooseBackends(readSessionBusNames())) {
    if (std::unique_ptr<System> system = open(module)) {
      backends.push_back({module.idPrefix, std::move(system)});
    }
  }
  return backends;
}

}  // namespace pemrix::platform::desktop
