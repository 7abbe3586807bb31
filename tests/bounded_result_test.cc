// Cutting results to the byte budget and clipping store texts.
#include "bridge/bounded_result.h"
#include "protocol/clipped.h"

#include <gtest/gtest.h>

#include <string>

namespace pemrix {
namespace {

const std::string kThumbsUpMedium = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";  // U+1F44D U+1F3FD
const std::string kReplacement = "\xEF\xBF\xBD";

Json item(int n, std::size_t titleBytes = 10) {
  return Json{{"id", "item-" + std::to_string(n)}, {"title", std::string(titleBytes, 't')}};
}

int64_t sizeOf(const Json& value) {
  return static_cast<int64_t>(encodedSize(value).value());
}

// The budget that exactly fits `result` with only its first `count` items, counting one
// separator byte per item.
int64_t exactBudget(const Json& result, std::size_t count) {
  Json empty = result;
  empty["items"] = Json::array();
  int64_t budget = sizeOf(empty);
  for (std::size_t i = 0; i < count; ++i) budget += sizeOf(result["items"][i]) + 1;
  return budget;
}

TEST(BoundedResult, LeavesResultsWithoutAnItemListAlone) {
  const Json cases[] = {
      Json{{"sources", Json::array({Json{{"id", std::string(500, 'x')}}})}},
      Json{{"items", Json::array({"a", "b", "c"})}, {"truncated", false}},
      Json{{"items", Json::array({Json::object(), "b"})}},
      Json{{"items", "not a list"}},
      Json::array({1, 2}),
      Json{{"status", "fullAccess"}},
  };
  for (const Json& result : cases) {
    EXPECT_EQ(boundedResult(result, 10), result) << result.dump();
  }
}

TEST(BoundedResult, EmptyItemsComeBackWithoutTruncated) {
  const Json result = {{"items", Json::array()}};
  EXPECT_EQ(boundedResult(result, 1), result);
}

TEST(BoundedResult, KeepsEverythingThatFitsAndTheStoresTruncatedValue) {
  const Json result = {{"items", Json::array({item(1), item(2), item(3)})}, {"truncated", false}};
  EXPECT_EQ(boundedResult(result, kResultByteBudget), result);
  EXPECT_EQ(boundedResult(result, exactBudget(result, 3)), result);
  const Json storeTruncated = {{"items", Json::array({item(1)})}, {"truncated", true}};
  EXPECT_EQ(boundedResult(storeTruncated, kResultByteBudget), storeTruncated);
}

TEST(BoundedResult, AnItemThatFitsExactlyIsKeptAndOneByteMoreDropsTheRest) {
  // The third item is the largest, the fourth small enough to fit where the third did not.
  const Json result = {{"items", Json::array({item(1), item(2), item(3, 40), item(4, 1)})},
                       {"truncated", false}};
  const int64_t fitsThree = exactBudget(result, 3);
  Json three = boundedResult(result, fitsThree);
  ASSERT_EQ(three["items"].size(), 3u);
  EXPECT_EQ(three["truncated"], true);

  Json two = boundedResult(result, fitsThree - 1);
  EXPECT_EQ(two["items"], Json::array({item(1), item(2)}));
  EXPECT_EQ(two["truncated"], true);
  two.erase("truncated");
  // The kept items alone fit the budget, the item separators included.
  EXPECT_LE(sizeOf(two), fitsThree - 1);
}

TEST(BoundedResult, AddsTruncatedWhenTheStoreSetNone) {
  const Json result = {{"items", Json::array({item(1), item(2)})}, {"kind", "events"}};
  const Json bounded = boundedResult(result, exactBudget(result, 1));
  EXPECT_EQ(bounded,
            (Json{{"items", Json::array({item(1)})}, {"kind", "events"}, {"truncated", true}}));
}

TEST(BoundedResult, AFirstItemLargerThanTheBudgetLeavesNoItems) {
  const Json result = {{"items", Json::array({item(1, 1000), item(2)})}, {"truncated", false}};
  EXPECT_EQ(boundedResult(result, 500), (Json{{"items", Json::array()}, {"truncated", true}}));
}

TEST(BoundedResult, DropsEverythingWhenTheResultAloneDoesNotFitOrCannotBeWritten) {
  const Json large = {{"items", Json::array({item(1)})}, {"note", std::string(100, 'n')}};
  EXPECT_EQ(boundedResult(large, 50)["items"], Json::array());
  EXPECT_EQ(boundedResult(large, 50)["truncated"], true);

  const Json unwritable = {{"items", Json::array({item(1)})}, {"note", "\xFF"}};
  EXPECT_EQ(boundedResult(unwritable, kResultByteBudget)["items"], Json::array());
  EXPECT_EQ(boundedResult(unwritable, kResultByteBudget)["truncated"], true);
}

TEST(BoundedResult, StopsAtAnItemThatCannotBeWritten) {
  const Json bad = {{"title", "\xC3"}};
  const Json result = {{"items", Json::array({item(1), bad, item(3)})}, {"truncated", false}};
  EXPECT_EQ(boundedResult(result, kResultByteBudget),
            (Json{{"items", Json::array({item(1)})}, {"truncated", true}}));
}

TEST(BoundedResult, KeepsAsManyItemsAsTheDispatcherBudgetAllows) {
  Json items = Json::array();
  for (int i = 0; i < 100; ++i) items.push_back(item(i, 4000));
  const Json result = {{"items", items}, {"truncated", false}};
  const Json bounded = boundedResult(result, kResultByteBudget);
  EXPECT_EQ(bounded["truncated"], true);
  const std::size_t kept = bounded["items"].size();
  EXPECT_LE(exactBudget(result, kept), kResultByteBudget);
  EXPECT_GT(exactBudget(result, kept + 1), kResultByteBudget);
}

struct ClipCase {
  std::optional<std::string> text;
  std::size_t limit;
  std::string clipped;
};

TEST(Clipped, BoundsTextsToCharactersReadFromFourBytesEach) {
  const std::string acute = "\xCC\x81";  // combining acute accent, two bytes
  std::string manyMarks = "a";
  for (int i = 0; i < 10; ++i) manyMarks += acute;
  const ClipCase cases[] = {
      {std::nullopt, 200, ""},
      {"", 200, ""},
      {"0123456789", 200, "0123456789"},
      {std::string(300, 'x'), 200, std::string(200, 'x')},
      {std::string(800, 'x'), 200, std::string(200, 'x')},
      {"a" + kThumbsUpMedium + kThumbsUpMedium, 3, "a" + kThumbsUpMedium + kReplacement},
      {"a" + kThumbsUpMedium + kThumbsUpMedium, 5, "a" + kThumbsUpMedium + kThumbsUpMedium},
      {"Jos\xC3\xA9", 3, "Jos"},
      {"e" + acute + "x", 1, "e" + acute},
      // Eight bytes hold the a, three marks and half of the fourth.
      {manyMarks, 2, "a" + acute + acute + acute + kReplacement},
      {"ab\xFF"
       "cd",
       200, "ab" + kReplacement + "cd"},
      {"a\r\nb", 2, "a\r\n"},
  };
  for (const ClipCase& c : cases) {
    EXPECT_EQ(clipped(c.text, c.limit), c.clipped) << c.text.value_or("(none)");
  }
}

}  // namespace
}  // namespace pemrix
