// Choosing the requested sources among those a store lists.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "stores/query_support.h"

namespace pemrix {
namespace {

using Ids = std::vector<std::string>;

struct Listed {
  std::string identifier;
  int position;
};

struct Case {
  const char* name;
  Ids listed;
  std::set<std::string> requested;
  std::optional<Ids> chosen;
};

TEST(RequestedSources, KeepsTheStoresOrderAndFailsWhenOneIsMissing) {
  const Case cases[] = {
      {"store order", {"a", "b", "c"}, {"c", "a"}, Ids{"a", "c"}},
      {"listed twice", {"b", "a", "b"}, {"b"}, Ids{"b", "b"}},
      {"one missing", {"a", "b"}, {"a", "z"}, std::nullopt},
      {"nothing listed", {}, {"a"}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(requestedSources(c.listed, c.requested), c.chosen) << c.name;
    // The same choice over sources that carry more than their identifier.
    std::vector<Listed> listed;
    for (const std::string& id : c.listed) listed.push_back({id, static_cast<int>(listed.size())});
    const auto chosen = requestedSources(listed, c.requested);
    ASSERT_EQ(chosen.has_value(), c.chosen.has_value()) << c.name;
    if (!chosen) continue;
    Ids ids;
    for (const Listed& source : *chosen) {
      ids.push_back(source.identifier);
      EXPECT_EQ(c.listed[static_cast<std::size_t>(source.position)], source.identifier);
    }
    EXPECT_EQ(ids, *c.chosen) << c.name;
  }
}

}  // namespace
}  // namespace pemrix
