// RevisionFilter: which revisions of a source are changes. EDS re-announces a source's
// revision whenever a client opens it; only a new value means the data changed.
//
// Thread safety: none; one thread (the GLib thread) uses it.
#pragma once

#include <map>
#include <string>

namespace pemrix::platform::eds {

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
