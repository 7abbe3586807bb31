// Zone: the UTC offsets of one IANA time zone, read from the compiled zone files
// (TZif, RFC 8536) that the system's time-zone data installs under /usr/share/zoneinfo.
//
// Only what due dates need is kept: transition instants and the UTC offset each one brings
// in. Leap seconds are ignored, and so is the footer's rule for instants after the last
// transition: those use the offset of the last transition. The system's files list
// transitions up to 2037, which covers every date a simulated world names.
//
// Ownership: a Zone shares its immutable data with the process-wide cache, so copies are
// cheap. Threads: loadZone may be called from any thread (the cache is guarded by a mutex);
// a Zone is immutable and safe to share. Errors: an unknown, unreadable or malformed zone
// gives nothing; nothing is thrown or logged.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace pemrix::platform {

class Zone {
 public:
  struct Data {
    std::vector<int64_t> transitions;  // UTC seconds since the epoch, ascending
    std::vector<int32_t> offsets;      // the UTC offset in force from each transition on
    int32_t initialOffset = 0;         // the UTC offset before the first transition
  };

  explicit Zone(std::shared_ptr<const Data> data) : data_(std::move(data)) {}

  // The offset of local time from UTC at `instant`.
  std::chrono::seconds offsetAt(std::chrono::sys_seconds instant) const;

  // The instant at which clocks in the zone show `local`, by the rule of
  // platform/wall_time.h.
  std::chrono::sys_seconds toUtc(std::chrono::local_seconds local) const;

 private:
  std::shared_ptr<const Data> data_;
};

// The zone called `name` ("Europe/Berlin"), read from /usr/share/zoneinfo on first use and
// kept for the life of the process. "UTC" works without any zone files. Nothing for an
// empty name, one that could leave the zone directory ("..", a leading "/"), or a file that
// is missing or not a valid zone file.
std::optional<Zone> loadZone(std::string_view name);

// The zone described by the contents of a TZif file; nothing when they are malformed.
std::optional<Zone> parseZoneFile(std::string_view bytes);

}  // namespace pemrix::platform
