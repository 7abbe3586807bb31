// Writing typed results as wire JSON.
#include "protocol/result_encoding.h"

#include <utility>

#include "common/limits.h"
#include "protocol/item_budget.h"

namespace pemrix {
namespace {

Json encodeItem(EventItem&& event) {
  Json item(Json::value_t::object);
  Json::object_t& members = item.get_ref<Json::object_t&>();
  members.emplace("id", std::move(event.id));
  members.emplace("sourceId", std::move(event.sourceId));
  members.emplace("title", std::move(event.title));
  members.emplace("start", std::move(event.start));
  members.emplace("end", std::move(event.end));
  members.emplace("allDay", event.allDay);
  return item;
}

Json encodeItem(ReminderItem&& reminder) {
  Json item(Json::value_t::object);
  Json::object_t& members = item.get_ref<Json::object_t&>();
  members.emplace("id", std::move(reminder.id));
  members.emplace("sourceId", std::move(reminder.sourceId));
  members.emplace("title", std::move(reminder.title));
  members.emplace("due", std::move(reminder.due));
  members.emplace("completed", reminder.completed);
  members.emplace("priority", reminder.priority);
  return item;
}

Json encodeItem(ContactItem&& contact) {
  Json item(Json::value_t::object);
  Json::object_t& members = item.get_ref<Json::object_t&>();
  members.emplace("id", std::move(contact.id));
  members.emplace("sourceId", std::move(contact.sourceId));
  members.emplace("title", std::move(contact.title));
  members.emplace("organization", std::move(contact.organization));
  members.emplace("jobTitle", std::move(contact.jobTitle));
  return item;
}

Json encodeItem(SourceItem&& source) {
  Json item(Json::value_t::object);
  Json::object_t& members = item.get_ref<Json::object_t&>();
  members.emplace("id", std::move(source.id));
  members.emplace("title", std::move(source.title));
  return item;
}

template <typename Item>
Json encodeQuery(QueryResult<Item> result) {
  Json items(Json::value_t::array);
  Json::array_t& list = items.get_ref<Json::array_t&>();
  list.reserve(result.items.size());
  for (Item& item : result.items) list.push_back(encodeItem(std::move(item)));
  Json encoded(Json::value_t::object);
  Json::object_t& members = encoded.get_ref<Json::object_t&>();
  members.emplace("items", std::move(items));
  members.emplace("truncated", result.truncated);
  return encoded;
}

}  // namespace

Json encodeResult(EventResult result) {
  return encodeQuery(std::move(result));
}

Json encodeResult(ReminderResult result) {
  return encodeQuery(std::move(result));
}

Json encodeResult(ContactResult result) {
  return encodeQuery(std::move(result));
}

Json encodeResult(SourceListing listing) {
  Json sources(Json::value_t::array);
  ItemBudget budget{0, limits::kResultByteBudget};
  for (SourceItem& source : listing.sources) {
    Json item = encodeItem(std::move(source));
    if (!budget.take(item)) break;
    sources.push_back(std::move(item));
  }
  Json encoded(Json::value_t::object);
  Json::object_t& members = encoded.get_ref<Json::object_t&>();
  members.emplace("sources", std::move(sources));
  members.emplace("permission", wireName(listing.permission));
  members.emplace("truncated", listing.truncated || budget.full());
  return encoded;
}

Json encodePermission(PermissionState state) {
  return Json{{"permission", wireName(state)}};
}

Json encodePermissions(const std::vector<std::pair<NativeEntity, PermissionState>>& states) {
  Json permissions = Json::object();
  for (const auto& [entity, state] : states) {
    permissions[std::string(rawValue(entity))] = wireName(state);
  }
  return Json{{"permissions", std::move(permissions)}};
}

}  // namespace pemrix
