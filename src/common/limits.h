// Every fixed bound of the bridge, in one place: how much it reads, accepts, keeps, writes
// and waits. There is no configuration; these are the protocol's own numbers, the same on
// every platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pemrix::limits {

// Input and output framing.
inline constexpr std::size_t kReadSize = 4096;           // bytes asked of stdin per read
inline constexpr std::size_t kMaxLineBytes = 16384;      // longest request line, no newline
inline constexpr std::size_t kMaxMessageBytes = 262144;  // longest output line, no newline

// Requests.
inline constexpr std::size_t kMaxRequestIdLength = 64;
inline constexpr std::size_t kMaxSourceIds = 16;
inline constexpr std::size_t kMaxIdentifierBytes = 512;
inline constexpr std::size_t kMinQueryCharacters = 2;
inline constexpr std::size_t kMaxQueryCharacters = 160;
inline constexpr int64_t kMaxWindowSeconds = 2678400;  // 31 days

// Results: items and sources per answer (also the largest and the default "limit"), the
// byte budget of the items, and the most contacts a query examines.
inline constexpr std::size_t kMaxItems = 100;
inline constexpr int64_t kResultByteBudget = 245760;
inline constexpr std::size_t kContactScanCap = 2000;

// Clip lengths, in characters (extended grapheme clusters).
inline constexpr std::size_t kItemIdentifierLimit = 512;
inline constexpr std::size_t kItemTitleLimit = 500;
inline constexpr std::size_t kSourceTitleLimit = 200;
inline constexpr std::size_t kNamePartLimit = 250;
inline constexpr std::size_t kNameLimit = 500;
inline constexpr std::size_t kOrganizationLimit = 300;
inline constexpr std::size_t kJobTitleLimit = 200;

// Deadlines and periods, in seconds.
inline constexpr double kPermissionAllowance = 120.0;  // "request-permission"
inline constexpr double kRequestAllowance = 15.0;      // "list-sources" and "query"
inline constexpr double kIdlePeriod = 30.0;            // exit after this long without work
inline constexpr double kChangeWindow = 0.5;           // "changed" messages are coalesced

}  // namespace pemrix::limits
