// StoreReply and RequestLifetime: a store request answers once, never after it was given
// up, and a reply dropped unanswered while its request is still wanted is caught.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "stores/store_reply.h"

namespace pemrix {
namespace {

// Time that the test sets outright, backwards too: `micros` microseconds after the epoch
// on the wall clock and on the monotonic one.
class SetClock final : public platform::Clock {
 public:
  Instant now() const override { return Instant{} + std::chrono::microseconds(micros.load()); }
  double uptime() const override { return static_cast<double>(micros.load()) / 1e6; }

  std::atomic<int64_t> micros{0};
};

class StoreReplyTest : public ::testing::Test {
 protected:
  Lifetime lifetime(double seconds = 15) {
    return std::make_shared<RequestLifetime>(seconds, clock_);
  }
  StoreReply reply(const Lifetime& lifetime) {
    return StoreReply(
        lifetime, [this](StoreResult result) { answers_.push_back(std::move(result)); },
        BridgeFailure::sourceUnavailable());
  }

  SetClock clock_;
  std::vector<StoreResult> answers_;
};

TEST_F(StoreReplyTest, CopiesShareOneAnswer) {
  const StoreReply first = reply(lifetime());
  const StoreReply second = first;
  second(Json{{"items", Json::array()}});
  first(BridgeFailure::timeout());
  ASSERT_EQ(answers_.size(), 1u);
  EXPECT_TRUE(std::holds_alternative<Json>(answers_[0]));
}

TEST_F(StoreReplyTest, NothingIsAnsweredOnceTheRequestIsGivenUp) {
  Lifetime cancelled = lifetime();
  cancelled->cancel();
  reply(cancelled)(Json::object());
  { StoreReply dropped = reply(cancelled); }
  // Past the deadline the lifetime stays over, even when the wall clock is set back.
  Lifetime expired = lifetime(1);
  clock_.micros = 1'000'000;
  EXPECT_FALSE(expired->isActive());
  clock_.micros = 0;
  EXPECT_FALSE(expired->isActive());
  reply(expired)(Json::object());
  EXPECT_TRUE(answers_.empty());
}

TEST_F(StoreReplyTest, AReplyDroppedWhileTheRequestIsActiveIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Lifetime active = lifetime();
  // Debug builds stop; release builds answer with the failure given for that case.
  EXPECT_DEBUG_DEATH({ StoreReply dropped = reply(active); }, "without answering");
#ifdef NDEBUG
  ASSERT_EQ(answers_.size(), 1u);
  EXPECT_EQ(std::get<BridgeFailure>(answers_[0]), BridgeFailure::sourceUnavailable());
#endif
}

}  // namespace
}  // namespace pemrix
