// The results of "list-sources" and "query" as typed values: the stores fill them and
// result_encoding.h writes them. Every text is already what the wire carries (clipped by
// the store to its limit); times are in the whole-second result form of `formatDate`, which
// is also the key queries sort their items by.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/permission_state.h"

namespace pemrix {

// A calendar, reminder list or contact account the user can choose.
struct SourceItem {
  std::string id;
  std::string title;
};

// One occurrence of an event; `id` is the event's identifier, "@" and its start.
struct EventItem {
  std::string id;
  std::string sourceId;
  std::string title;
  std::string start;
  std::string end;
  bool allDay = false;
};

struct ReminderItem {
  std::string id;
  std::string sourceId;
  std::string title;
  std::string due;
  bool completed = false;
  int64_t priority = 0;
};

// `title` is the joined given and family name, or the organisation when there is no name.
struct ContactItem {
  std::string id;
  std::string sourceId;
  std::string title;
  std::string organization;
  std::string jobTitle;
};

// The items a query collected, in answer order, and whether any was left out.
template <typename Item>
struct QueryResult {
  std::vector<Item> items;
  bool truncated = false;
};

using EventResult = QueryResult<EventItem>;
using ReminderResult = QueryResult<ReminderItem>;
using ContactResult = QueryResult<ContactItem>;

// The sources of a listing in the store's order, at most `limits::kMaxItems`; `truncated`
// when the store listed more. `permission` is the entity's state when the listing ended.
struct SourceListing {
  std::vector<SourceItem> sources;
  bool truncated = false;
  PermissionState permission = PermissionState::unknown;
};

}  // namespace pemrix
