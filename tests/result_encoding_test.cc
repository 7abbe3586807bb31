// The wire text of typed results, and the byte budget of source listings.
#include "protocol/result_encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "common/limits.h"

namespace pemrix {
namespace {

std::string text(const Json& value) {
  return writeJson(value).value();
}

TEST(ResultEncoding, WritesEachResultWithItsMembersInWireOrder) {
  const std::pair<Json, std::string> cases[] = {
      {encodeResult(EventResult{{{"E1@2024-05-01T09:30:00Z", "cal/work", "Stand-up",
                                  "2024-05-01T09:30:00Z", "2024-05-01T10:00:00Z", true}},
                                true}),
       R"({"items":[{"allDay":true,"end":"2024-05-01T10:00:00Z","id":"E1@2024-05-01T09:30:00Z",)"
       R"("sourceId":"cal\/work","start":"2024-05-01T09:30:00Z","title":"Stand-up"}],)"
       R"("truncated":true})"},
      {encodeResult(
           ReminderResult{{{"R1", "l", "Buy \"milk\"", "2024-05-01T17:00:00Z", false, -3}}, false}),
       R"({"items":[{"completed":false,"due":"2024-05-01T17:00:00Z","id":"R1","priority":-3,)"
       R"("sourceId":"l","title":"Buy \"milk\""}],"truncated":false})"},
      {encodeResult(ContactResult{{{"C7", "w", "José Álvarez", "Acme", "Designer"}}, false}),
       R"({"items":[{"id":"C7","jobTitle":"Designer","organization":"Acme","sourceId":"w",)"
       R"("title":"José Álvarez"}],"truncated":false})"},
      {encodeResult(ContactResult{}), R"({"items":[],"truncated":false})"},
      {encodeResult(SourceListing{{{"a", "Home"}, {"b", ""}}, false, PermissionState::limited}),
       R"({"permission":"limited","sources":[{"id":"a","title":"Home"},{"id":"b","title":""}],)"
       R"("truncated":false})"},
      {encodeResult(SourceListing{{}, true, PermissionState::fullAccess}),
       R"({"permission":"fullAccess","sources":[],"truncated":true})"},
  };
  for (const auto& [encoded, expected] : cases) EXPECT_EQ(text(encoded), expected);
}

TEST(ResultEncoding, SourceListingKeepsTheSourcesThatFitTheByteBudget) {
  // 100 sources with titles of 3000 bytes are far larger than the budget.
  SourceListing listing{{}, false, PermissionState::fullAccess};
  for (int i = 10; i < 110; ++i) {
    listing.sources.push_back({"s" + std::to_string(i), std::string(3000, 't')});
  }
  // A source's wire text and its separator byte.
  const int64_t perSource = std::string(R"({"id":"s10","title":""})").size() + 3000 + 1;
  const Json encoded = encodeResult(listing);
  const Json& kept = encoded["sources"];
  const int64_t fits = limits::kResultByteBudget / perSource;
  ASSERT_EQ(static_cast<int64_t>(kept.size()), fits);
  EXPECT_EQ(kept.back()["id"], "s" + std::to_string(10 + fits - 1));
  EXPECT_EQ(encoded["truncated"], true);
}

}  // namespace
}  // namespace pemrix
