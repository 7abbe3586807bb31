// Reading compiled zone files (TZif) and converting between UTC and a zone's local time.
#include "sim/zone_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/wall_time.h"

namespace pemrix::platform {

namespace {

using std::chrono::seconds;

constexpr std::string_view kZoneDirectory = "/usr/share/zoneinfo/";

// Big-endian fields of a zone file, read front to back; any read past the end fails.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  bool skip(uint64_t count) {
    if (count > bytes_.size() - pos_) return false;
    pos_ += count;
    return true;
  }

  std::optional<uint64_t> unsignedField(int width) {
    if (static_cast<uint64_t>(width) > bytes_.size() - pos_) return std::nullopt;
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | static_cast<uint8_t>(bytes_[pos_++]);
    return value;
  }

  // A two's-complement field of 4 or 8 bytes.
  std::optional<int64_t> signedField(int width) {
    std::optional<uint64_t> raw = unsignedField(width);
    if (!raw) return std::nullopt;
    if (width == 4) return static_cast<int32_t>(static_cast<uint32_t>(*raw));
    return static_cast<int64_t>(*raw);
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

// The counts of a header, in file order.
struct Header {
  int version = 0;  // 0 for the first format, else 2, 3, ...
  uint64_t isutcnt = 0, isstdcnt = 0, leapcnt = 0, timecnt = 0, typecnt = 0, charcnt = 0;
};

std::optional<Header> readHeader(Reader& in) {
  std::optional<uint64_t> magic = in.unsignedField(4);
  std::optional<uint64_t> version = in.unsignedField(1);
  if (magic != 0x545A6966 || !version || !in.skip(15)) return std::nullopt;  // "TZif"
  Header h;
  h.version = *version == 0 ? 0 : static_cast<int>(*version - '0');
  uint64_t* counts[] = {&h.isutcnt, &h.isstdcnt, &h.leapcnt, &h.timecnt, &h.typecnt, &h.charcnt};
  for (uint64_t* count : counts) {
    std::optional<uint64_t> value = in.unsignedField(4);
    if (!value) return std::nullopt;
    *count = *value;
  }
  if (h.typecnt == 0 || h.typecnt > 256) return std::nullopt;
  return h;
}

// The size of the data block that follows `h`, with transition times `width` bytes wide.
uint64_t dataSize(const Header& h, int width) {
  return h.timecnt * (width + 1) + h.typecnt * 6 + h.charcnt + h.leapcnt * (width + 4) +
         h.isstdcnt + h.isutcnt;
}

// Reads the transitions and local time types of a data block; the rest is not needed.
std::optional<Zone::Data> readData(Reader& in, const Header& h, int width) {
  std::vector<int64_t> times;
  for (uint64_t i = 0; i < h.timecnt; ++i) {
    std::optional<int64_t> time = in.signedField(width);
    if (!time || (!times.empty() && *time <= times.back())) return std::nullopt;
    times.push_back(*time);
  }
  std::vector<uint64_t> typeOf;
  for (uint64_t i = 0; i < h.timecnt; ++i) {
    std::optional<uint64_t> type = in.unsignedField(1);
    if (!type || *type >= h.typecnt) return std::nullopt;
    typeOf.push_back(*type);
  }
  std::vector<int32_t> utoffs;
  for (uint64_t i = 0; i < h.typecnt; ++i) {
    std::optional<int64_t> utoff = in.signedField(4);
    if (!utoff || !in.skip(2)) return std::nullopt;  // isdst and desigidx are not needed
    utoffs.push_back(static_cast<int32_t>(*utoff));
  }
  Zone::Data data{std::move(times), {}, utoffs[0]};
  for (uint64_t type : typeOf) data.offsets.push_back(utoffs[type]);
  return data;
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream contents;
  contents << file.rdbuf();
  if (file.bad()) return std::nullopt;
  return std::move(contents).str();
}

bool acceptableName(std::string_view name) {
  return !name.empty() && name.front() != '/' && name.find("..") == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::optional<Zone> readZone(std::string_view name) {
  if (name == "UTC") return Zone(std::make_shared<const Zone::Data>());
  if (!acceptableName(name)) return std::nullopt;
  std::optional<std::string> bytes = readFile(std::string(kZoneDirectory) + std::string(name));
  if (!bytes) return std::nullopt;
  return parseZoneFile(*bytes);
}

}  // namespace

std::optional<Zone> parseZoneFile(std::string_view bytes) {
  Reader in(bytes);
  std::optional<Header> header = readHeader(in);
  if (!header) return std::nullopt;
  if (header->version < 2) {
    std::optional<Zone::Data> data = readData(in, *header, 4);
    if (!data) return std::nullopt;
    return Zone(std::make_shared<const Zone::Data>(std::move(*data)));
  }
  // Version 2 and later repeat everything with 64-bit times after the first block.
  if (!in.skip(dataSize(*header, 4))) return std::nullopt;
  header = readHeader(in);
  if (!header) return std::nullopt;
  std::optional<Zone::Data> data = readData(in, *header, 8);
  if (!data) return std::nullopt;
  return Zone(std::make_shared<const Zone::Data>(std::move(*data)));
}

std::optional<Zone> loadZone(std::string_view name) {
  static std::mutex mutex;
  static std::map<std::string, std::optional<Zone>, std::less<>> cache;
  std::lock_guard<std::mutex> lock(mutex);
  auto found = cache.find(name);
  if (found == cache.end()) found = cache.emplace(std::string(name), readZone(name)).first;
  return found->second;
}

seconds Zone::offsetAt(std::chrono::sys_seconds instant) const {
  const std::vector<int64_t>& times = data_->transitions;
  auto after = std::upper_bound(times.begin(), times.end(), instant.time_since_epoch().count());
  if (after == times.begin()) return seconds(data_->initialOffset);
  return seconds(data_->offsets[std::distance(times.begin(), after) - 1]);
}

std::chrono::sys_seconds Zone::toUtc(std::chrono::local_seconds local) const {
  return instantOfWallTime(local, [this](std::chrono::sys_seconds at) { return offsetAt(at); });
}

}  // namespace pemrix::platform
