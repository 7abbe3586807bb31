// FailureWording: the message of every failure, as one table per platform. The messages
// name the system the bridge serves, so each product links exactly one table
// (protocol/wording/macos.cc for macOS and the simulator, protocol/wording/linux_desktop.cc
// for Linux desktops); the build picks it, and no protocol code knows the platform.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "protocol/bridge_failure.h"

namespace pemrix {

struct FailureWording {
  Failure failure;
  std::string_view message;
};

// The number of failures: one entry for each in every table.
inline constexpr std::size_t kFailureCount =
    static_cast<std::size_t>(Failure::contactsSourceMissing) + 1;

// True when each entry stands at its failure's position, so that a failure's entry is found
// by its value.
constexpr bool inEnumerationOrder(const std::array<FailureWording, kFailureCount>& table) {
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (static_cast<std::size_t>(table[i].failure) != i) return false;
  }
  return true;
}

// The table this build links, in the order of `Failure`.
std::span<const FailureWording> failureWording();

}  // namespace pemrix
