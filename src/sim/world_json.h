// WorldField: one value of a parsed world file together with its key path
// ("events[3].start"), with typed readers that reject wrong types, unknown keys and
// out-of-range values by throwing a WorldProblem whose text names that path.
//
// Thread safety: a WorldField is a view of a JSON document and is used by one thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/instant.h"

namespace pemrix::platform {

// A problem found in a world file: "<key path>: <what is wrong>".
struct WorldProblem {
  std::string message;
};

class WorldField {
 public:
  // `value` must outlive the field; `path` is empty for the document's top level.
  WorldField(const nlohmann::json& value, std::string path);

  [[noreturn]] void fail(std::string_view problem) const;
  bool isNull() const { return value_.is_null(); }

  // Checks that the value is an object whose keys are all in `allowed`.
  void expectObject(std::initializer_list<std::string_view> allowed) const;
  // The member `key` of an object, or nothing when it is absent.
  std::optional<WorldField> member(std::string_view key) const;
  // The member `key`, which must be present.
  WorldField required(std::string_view key) const;
  // The elements of an array.
  std::vector<WorldField> elements() const;

  std::string text() const;
  bool boolean() const;
  int64_t integer() const;
  int smallInteger() const;  // an integer in the range of int
  double seconds() const;    // a non-negative finite number
  std::string timeZone() const;
  Instant timestamp() const;

 private:
  std::string childPath(std::string_view key) const;

  const nlohmann::json& value_;
  std::string path_;
};

// Reads `object`'s member `key` into `out` with `read` when the member is present (and,
// for nullable members, not null); leaves `out` unchanged otherwise.
template <typename T, typename Read>
void readMember(const WorldField& object, std::string_view key, T& out, Read read) {
  if (auto field = object.member(key)) out = read(*field);
}
template <typename T, typename Read>
void readNullable(const WorldField& object, std::string_view key, std::optional<T>& out,
                  Read read) {
  if (auto field = object.member(key); field && !field->isNull()) out = read(*field);
}

}  // namespace pemrix::platform
