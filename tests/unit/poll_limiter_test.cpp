// How many ArtPoll answers a sender can draw, on the module's monotonic clock.
#include "engine/poll_limiter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "module_fixture.h"

namespace artnet {
namespace {

constexpr std::uint32_t Address(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

// Polls from `sender` at `times`; how many were allowed.
int Answered(PollAnswerLimiter& limiter, std::uint32_t sender, double from, double step, int count) {
  int answered = 0;
  for (int i = 0; i < count; ++i) answered += limiter.Allow(sender, from + step * i) ? 1 : 0;
  return answered;
}

TEST(PollAnswerLimiterTest, ControllersPollingNormallyAreAlwaysAnswered) {
  PollAnswerLimiter limiter;
  // Eight controllers for an hour, every 2.5 to 3 s, some polling twice at
  // once (two networks, one source address), with a burst of four at start-up.
  int refused = 0;
  for (std::uint32_t c = 0; c < 8; ++c) {
    for (int i = 0; i < 4; ++i) refused += limiter.Allow(Address(10, 0, 0, c), 0.01 * i) ? 0 : 1;
  }
  for (double t = 1; t < 3600; t += 0.25) {
    for (std::uint32_t c = 0; c < 8; ++c) {
      const double period = 2.5 + 0.07 * c;
      const double phase = std::fmod(t + c * 0.3, period);
      if (phase >= 0.25) continue;
      const int polls = c % 2 == 0 ? 2 : 1;
      for (int p = 0; p < polls; ++p) refused += limiter.Allow(Address(10, 0, 0, c), t) ? 0 : 1;
    }
  }
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(limiter.Refused(), 0);
}

TEST(PollAnswerLimiterTest, OneSenderFloodingGetsABurstThenTheSustainedRate) {
  PollAnswerLimiter limiter;
  const std::uint32_t flooder = Address(10, 0, 0, 66);
  // 10,000 polls within one second.
  const int first = Answered(limiter, flooder, 100.0, 1e-4, 10000);
  EXPECT_GE(first, static_cast<int>(PollAnswerLimiter::kBurst));
  EXPECT_LE(first, static_cast<int>(PollAnswerLimiter::kBurst + PollAnswerLimiter::kRefillPerSecond) + 1);
  // The next ten seconds at 1,000 polls a second.
  const int sustained = Answered(limiter, flooder, 101.0, 1e-3, 10000);
  EXPECT_NEAR(sustained, 10 * PollAnswerLimiter::kRefillPerSecond, 2);
  EXPECT_EQ(limiter.Refused(), 20000 - first - sustained);

  // A pause refills the bucket, never beyond the burst.
  EXPECT_EQ(Answered(limiter, flooder, 1000.0, 0, 20), static_cast<int>(PollAnswerLimiter::kBurst));
}

TEST(PollAnswerLimiterTest, AFloodOfForgedAddressesLeavesRegularsTheirAnswersAndStaysBounded) {
  PollAnswerLimiter limiter;
  const std::uint32_t console = Address(10, 0, 0, 1);
  ASSERT_TRUE(limiter.Allow(console, 0));
  ASSERT_TRUE(limiter.Allow(console, 2.5));  // now a regular
  int floodAnswers = 0;
  int consoleRefused = 0;
  std::uint32_t forged = Address(192, 168, 0, 0);
  // Ten seconds of 10,000 polls a second, each from a new address, while
  // the console keeps polling every 2.5 s.
  for (int i = 0; i < 100000; ++i) {
    const double now = 3.0 + i * 1e-4;
    floodAnswers += limiter.Allow(forged++, now) ? 1 : 0;
    if (i % 25000 == 0) consoleRefused += limiter.Allow(console, now) ? 0 : 1;
  }
  EXPECT_EQ(consoleRefused, 0);
  // Each slot can serve a newcomer only once its bucket has refilled, plus the shared bucket.
  const double perSecond =
      PollAnswerLimiter::kSenders * PollAnswerLimiter::kRefillPerSecond + PollAnswerLimiter::kOverflowPerSecond;
  EXPECT_LE(floodAnswers, static_cast<int>(10 * perSecond + PollAnswerLimiter::kSenders + 16));
  EXPECT_GT(floodAnswers, 0);
  EXPECT_LE(sizeof(PollAnswerLimiter), 8192u);  // the table is all the memory there is
}

TEST(PollAnswerLimiterTest, ARegularForgottenAfterSilenceStartsAgainWithAFullBurst) {
  PollAnswerLimiter limiter;
  const std::uint32_t console = Address(10, 0, 0, 1);
  EXPECT_EQ(Answered(limiter, console, 0, 0, 20), static_cast<int>(PollAnswerLimiter::kBurst));
  // Silent long enough for its slot to be given away to 64 others.
  for (std::uint32_t i = 0; i < PollAnswerLimiter::kSenders; ++i) {
    EXPECT_TRUE(limiter.Allow(Address(10, 1, 0, i), 20 + 0.001 * i));
  }
  EXPECT_EQ(Answered(limiter, console, 21, 0, 20), static_cast<int>(PollAnswerLimiter::kBurst));
}

// Through the dispatcher: answers are charged to the poll's sender on the
// module's clock, whatever the destination of the answer.
class PollRateTest : public testing::ModuleTest {
 protected:
  void SetUp() override {
    InitDriver();
    mod.Settings.BroadcastAddress = "10.0.0.255";
  }
  std::size_t Replies() const { return platform.socket->sent.size(); }
};

TEST_F(PollRateTest, BroadcastAndUnicastAnswersShareTheSendersBudget) {
  for (int i = 0; i < 50; ++i) Socket().Deliver(testing::IncomingPoll(i % 2 == 0 ? 0x02 : 0x00), "10.0.0.9");
  EXPECT_EQ(Replies(), static_cast<std::size_t>(PollAnswerLimiter::kBurst));
  // Another controller is not affected.
  Socket().Deliver(testing::IncomingPoll(0x02), "10.0.0.8");
  ASSERT_EQ(Replies(), static_cast<std::size_t>(PollAnswerLimiter::kBurst) + 1);
  EXPECT_EQ(Sent().back().remoteHost, "10.0.0.8");

  // Time on the module's clock refills the flooding sender.
  Socket().Deliver(testing::IncomingPoll(0x02), "10.0.0.9");
  EXPECT_EQ(Replies(), static_cast<std::size_t>(PollAnswerLimiter::kBurst) + 1);
  platform.clock.monotonic += 1.0;
  for (int i = 0; i < 10; ++i) Socket().Deliver(testing::IncomingPoll(0x02), "10.0.0.9");
  EXPECT_EQ(Replies(), static_cast<std::size_t>(PollAnswerLimiter::kBurst + PollAnswerLimiter::kRefillPerSecond) + 1);
}

TEST_F(PollRateTest, PollingEveryTwoAndAHalfSecondsIsAnsweredEveryTime) {
  for (int i = 0; i < 1000; ++i) {
    Socket().Deliver(testing::IncomingPoll(0x02), "10.0.0.9");
    Socket().Deliver(testing::IncomingPoll(0x00), "10.0.0.7");
    platform.clock.monotonic += 2.5;
  }
  EXPECT_EQ(Replies(), 2000u);
}

}  // namespace
}  // namespace artnet
