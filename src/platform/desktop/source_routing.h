// What the desktop stores share: the backends' identifier prefixes, which backend owns a
// source identifier, and the tokens and access requests that span every backend.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/authorization.h"
#include "platform/calendar_store.h"
#include "platform/observer_token.h"
#include "platform/status.h"

namespace pemrix::platform::desktop {

class SourceRouting {
 public:
  explicit SourceRouting(std::vector<std::string> prefixes) : prefixes_(std::move(prefixes)) {}

  std::size_t backends() const { return prefixes_.size(); }
  std::string outward(std::size_t backend, const std::string& id) const {
    return prefixes_[backend] + id;
  }

  // The identifiers of `ids` by backend, each without its prefix and in the order given;
  // gone when an identifier belongs to no backend.
  Status split(const std::vector<std::string>& ids,
               std::map<std::size_t, std::vector<std::string>>* byBackend) const;

 private:
  // The backend that owns `id`: the longest prefix it begins with.
  std::optional<std::size_t> ownerOf(const std::string& id) const;

  std::vector<std::string> prefixes_;
};

// Registers `onChange` with each of `stores` and puts one token for all of them in
// `*token`; when one fails, releases the others and fails.
template <typename Store>
Status observeEach(const std::vector<std::unique_ptr<Store>>& stores,
                   const std::function<void()>& onChange, ObserverToken* token) {
  auto tokens = std::make_shared<std::vector<ObserverToken>>(stores.size());
  for (std::size_t backend = 0; backend < stores.size(); ++backend) {
    // On failure the tokens made so far go with `tokens`, which releases them.
    Status failed = stores[backend]->observeChanges(onChange, &(*tokens)[backend]);
    if (!failed.ok()) return failed;
  }
  *token = ObserverToken(std::move(tokens));
  return Status();
}

// Asks every backend for access (`request(backend, completion)`) and calls `completion`
// once, when the last has ended: with the first failure, if any.
void requestEach(std::size_t backends,
                 const std::function<void(std::size_t, AccessCompletion)>& request,
                 AccessCompletion completion);

}  // namespace pemrix::platform::desktop
