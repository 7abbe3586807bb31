// NativeBridge: "changed" messages, one per entity per half-second window that opens with
// the first store notification of a burst.
#include "bridge/native_bridge.h"

namespace pemrix {

void NativeBridge::changed(NativeEntity entity) {
  if (stopped_) return;
  if (!changes_.insert(entity).second) return;  // a pending message covers this change
  env_.mainQueue.after(kChangeWindow,
                       whileAlive([entity](NativeBridge& bridge) { bridge.writeChange(entity); }));
}

void NativeBridge::writeChange(NativeEntity entity) {
  if (stopped_) return;
  changes_.erase(entity);
  emit(Json{{"event", "changed"}, {"entity", rawValue(entity)}});
}

}  // namespace pemrix
