// Wire names of the personal sources.
#include "protocol/native_entity.h"

namespace pemrix {

std::string_view rawValue(NativeEntity entity) {
  switch (entity) {
    case NativeEntity::events:
      return "events";
    case NativeEntity::reminders:
      return "reminders";
    case NativeEntity::contacts:
      return "contacts";
  }
  return "events";
}

std::optional<NativeEntity> entityFromRawValue(std::string_view text) {
  for (NativeEntity entity : kAllEntities) {
    if (rawValue(entity) == text) return entity;
  }
  return std::nullopt;
}

}  // namespace pemrix
