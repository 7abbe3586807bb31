// NativeEntity: the three personal sources the bridge reads, and their wire names.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace pemrix {

enum class NativeEntity { events, reminders, contacts };

inline constexpr std::array<NativeEntity, 3> kAllEntities = {
    NativeEntity::events, NativeEntity::reminders, NativeEntity::contacts};

// The wire name: "events", "reminders" or "contacts".
std::string_view rawValue(NativeEntity entity);

// The entity whose wire name is exactly `text` (case-sensitive), or nothing.
std::optional<NativeEntity> entityFromRawValue(std::string_view text);

}  // namespace pemrix
