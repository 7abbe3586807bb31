// Loading backend modules with the dynamic loader, from the folder the executable was loaded
// from (the kernel's link to it, so that a symbolic link to the executable elsewhere finds
// the modules too). Loaded modules stay loaded until the process ends.
#include "platform/desktop/backend_loader.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/desktop/backend_choice.h"
#include "platform/desktop/backend_module.h"
#include "platform/desktop/quiet_glib.h"

namespace pemrix::platform::desktop {

namespace {

// The executable's folder with a slash, or nothing when the kernel does not say.
std::string executableFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return {};
  std::string folder(path, static_cast<size_t>(length));
  return folder.substr(0, folder.rfind('/') + 1);
}

std::unique_ptr<System> open(const std::string& folder, const BackendModule& module) {
  // Without a folder, the file name alone: the dynamic loader then searches the
  // executable's run path, which names the executable's folder too.
  void* handle = dlopen((folder + module.file).c_str(), RTLD_NOW | RTLD_LOCAL);
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
  const std::string folder = executableFolder();
  std::vector<DesktopBackend> backends;
  for (const BackendModule& module : chooseBackends(readSessionBusNames())) {
    if (std::unique_ptr<System> system = open(folder, module)) {
      backends.push_back({module.idPrefix, std::move(system)});
    }
  }
  return backends;
}

}  // namespace pemrix::platform::desktop
