// RevisionFilter: the last revision seen per source.
#include "platform/eds/revision_filter.h"

namespace pemrix::platform::eds {

bool RevisionFilter::changed(const std::string& source, const std::string& revision) {
  auto [it, inserted] = last_.try_emplace(source, revision);
  if (inserted) return false;
  if (it->second == revision) return false;
  it->second = revision;
  return true;
}

}  // namespace pemrix::platform::eds
