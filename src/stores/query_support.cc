// Finishing of calendar queries.
#include "stores/query_support.h"

#include "stores/permissions.h"

namespace pemrix {

void finishCalendarQuery(platform::System& system, NativeEntity entity, Json result,
                         const Lifetime& lifetime, const StoreReply& reply) {
  if (!lifetime->isActive()) return;
  if (!isReadable(system, entity)) {
    reply(BridgeFailure::accessChanged());
    return;
  }
  reply(std::move(result));
}

}  // namespace pemrix
