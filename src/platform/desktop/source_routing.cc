// Routing of source identifiers, and observers and access requests over every backend.
#include "platform/desktop/source_routing.h"

#include <mutex>
#include <utility>

namespace pemrix::platform::desktop {

std::optional<std::size_t> SourceRouting::ownerOf(const std::string& id) const {
  std::optional<std::size_t> owner;
  for (std::size_t backend = 0; backend < prefixes_.size(); ++backend) {
    const std::string& prefix = prefixes_[backend];
    if (id.compare(0, prefix.size(), prefix) != 0) continue;
    if (!owner || prefix.size() > prefixes_[*owner].size()) owner = backend;
  }
  return owner;
}

Status SourceRouting::split(const std::vector<std::string>& ids,
                            std::map<std::size_t, std::vector<std::string>>* byBackend) const {
  for (const std::string& id : ids) {
    std::optional<std::size_t> owner = ownerOf(id);
    if (!owner) return Status::gone("No desktop store has the source " + id + ".");
    (*byBackend)[*owner].push_back(id.substr(prefixes_[*owner].size()));
  }
  return Status();
}

void requestEach(std::size_t backends,
                 const std::function<void(std::size_t, AccessCompletion)>& request,
                 AccessCompletion completion) {
  struct Pending {
    std::mutex mutex;
    std::size_t left;
    Status first;
    AccessCompletion completion;
  };
  if (backends == 0) {
    completion(Status());
    return;
  }
  auto pending = std::make_shared<Pending>();
  pending->left = backends;
  pending->completion = std::move(completion);
  for (std::size_t backend = 0; backend < backends; ++backend) {
    request(backend, [pending](Status status) {
      AccessCompletion done;
      Status outcome;
      {
        std::lock_guard<std::mutex> lock(pending->mutex);
        if (!status.ok() && pending->first.ok()) pending->first = status;
        if (--pending->left > 0) return;
        done = std::move(pending->completion);
        outcome = pending->first;
      }
      done(std::move(outcome));
    });
  }
}

}  // namespace pemrix::platform::desktop
