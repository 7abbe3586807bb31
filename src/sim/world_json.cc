// Typed reading of world-file values, with key paths in every error.
#include "sim/world_json.h"

#include <cmath>
#include <limits>

#include "common/timestamp.h"
#include "sim/due_date.h"

namespace pemrix::platform {

WorldField::WorldField(const nlohmann::json& value, std::string path)
    : value_(value), path_(std::move(path)) {}

void WorldField::fail(std::string_view problem) const {
  if (path_.empty()) throw WorldProblem{"top level: " + std::string(problem)};
  throw WorldProblem{path_ + ": " + std::string(problem)};
}

std::string WorldField::childPath(std::string_view key) const {
  if (path_.empty()) return std::string(key);
  return path_ + "." + std::string(key);
}

void WorldField::expectObject(std::initializer_list<std::string_view> allowed) const {
  if (!value_.is_object()) fail("not an object");
  for (const auto& [key, unused] : value_.items()) {
    bool known = false;
    for (std::string_view name : allowed) known = known || key == name;
    if (!known) WorldField(unused, childPath(key)).fail("unknown key");
  }
}

std::optional<WorldField> WorldField::member(std::string_view key) const {
  auto found = value_.find(key);
  if (found == value_.end()) return std::nullopt;
  return WorldField(*found, childPath(key));
}

WorldField WorldField::required(std::string_view key) const {
  std::optional<WorldField> field = member(key);
  if (!field) WorldField(value_, childPath(key)).fail("missing");
  return *field;
}

std::vector<WorldField> WorldField::elements() const {
  if (!value_.is_array()) fail("not an array");
  std::vector<WorldField> fields;
  for (std::size_t i = 0; i < value_.size(); ++i) {
    fields.emplace_back(value_[i], path_ + "[" + std::to_string(i) + "]");
  }
  return fields;
}

std::string WorldField::text() const {
  if (!value_.is_string()) fail("not a string");
  return value_.get<std::string>();
}

bool WorldField::boolean() const {
  if (!value_.is_boolean()) fail("not a boolean");
  return value_.get<bool>();
}

int64_t WorldField::integer() const {
  if (value_.is_number_unsigned() &&
      value_.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    fail("out of range");
  }
  if (!value_.is_number_integer()) fail("not an integer");
  return value_.get<int64_t>();
}

int WorldField::smallInteger() const {
  int64_t number = integer();
  if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
    fail("out of range");
  }
  return static_cast<int>(number);
}

double WorldField::seconds() const {
  if (!value_.is_number()) fail("not a number");
  double number = value_.get<double>();
  if (!std::isfinite(number) || number < 0) fail("not a non-negative number of seconds");
  return number;
}

std::string WorldField::timeZone() const {
  std::string name = text();
  if (!knownTimeZone(name)) fail("unknown time zone \"" + name + "\"");
  return name;
}

Instant WorldField::timestamp() const {
  std::optional<Instant> instant;
  if (value_.is_string()) instant = parseDate(value_.get_ref<const std::string&>());
  if (!instant) fail("not a timestamp");
  return *instant;
}

}  // namespace pemrix::platform
