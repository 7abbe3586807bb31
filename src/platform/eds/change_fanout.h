// ChangeFanout: the change observers of one store. The store's sources (registry signals,
// client views, revision updates) call `notify`; every observer added and not yet
// released is called, on the notifying thread.
//
// Thread safety: every member may be called from any thread; observers are called without
// the lock held.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/observer_token.h"

namespace pemrix::platform::eds {

class ChangeFanout : public std::enable_shared_from_this<ChangeFanout> {
 public:
  // Calls `onChange` on every `notify` until the token is released.
  ObserverToken add(std::function<void()> onChange);
  void notify();

 private:
  std::mutex mutex_;
  std::map<int, std::function<void()>> observers_;  // guarded by mutex_
  int next_ = 0;                                    // guarded by mutex_
};

// Revisions a client reports for its source. EDS re-announces the current revision each
// time any client opens the source, so only a value that differs from the last one seen
// is a change; the first value seen for a source is where it starts.
class RevisionFilter {
 public:
  // True when `revision` is a change for `source`.
  bool changed(const std::string& source, const std::string& revision);
  void forget(const std::string& source) { last_.erase(source); }

 private:
  std::map<std::string, std::string> last_;
};

}  // namespace pemrix::platform::eds
