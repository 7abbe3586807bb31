// The wire form of the stores' results ("status", "request-permission", "list-sources",
// "query"): each typed result (result_items.h)
// as the JSON object the bridge sends under "result". Objects are built member by member:
// an initializer list would first build a two-element array for every member, which costs
// several times as many allocations for each of up to 100 items.
//
// Uses: the stores encode each result once, when they answer. Results are taken by value
// so that a caller that moves its result in pays for no copy of its texts.
//
// Thread safety: pure functions; any thread.
#pragma once

#include <utility>
#include <vector>

#include "protocol/native_entity.h"
#include "protocol/permission_state.h"
#include "protocol/result_items.h"
#include "protocol/wire_json.h"

namespace pemrix {

// {"items":[{"allDay","end","id","sourceId","start","title"}],"truncated"}
Json encodeResult(EventResult result);
// {"items":[{"completed","due","id","priority","sourceId","title"}],"truncated"}
Json encodeResult(ReminderResult result);
// {"items":[{"id","jobTitle","organization","sourceId","title"}],"truncated"}
Json encodeResult(ContactResult result);

// {"permission","sources":[{"id","title"}],"truncated"}. The sources written also stay
// within the byte budget of query items (`limits::kResultByteBudget`): escaping can make a
// clipped title six times longer on the wire, and a listing too large to write would end
// the process without an answer. Sources are kept whole, up to the first that does not fit,
// and "truncated" is then true.
Json encodeResult(SourceListing listing);

// {"permission"}: the answer to "request-permission".
Json encodePermission(PermissionState state);
// {"permissions":{entity: state, ...}}: the answer to "status".
Json encodePermissions(const std::vector<std::pair<NativeEntity, PermissionState>>& states);

}  // namespace pemrix
