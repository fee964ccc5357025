#include <gtest/gtest.h>

#include <thread>

#include "fakes/FakeClock.hpp"
#include "shared/Clock.hpp"

namespace vellory {
namespace {

using namespace std::chrono_literals;

// A stop from the signal-handling thread ends the main thread's wait at once, and every later one.
TEST(SystemClockTest, AStopEndsTheWaitInProgressAndEveryLaterOne) {
  SystemClock clock;
  StopSignal stop;
  EXPECT_FALSE(clock.waitFor(1ms, stop));
  EXPECT_FALSE(clock.waitUntil(clock.now() - 1s, stop));

  std::thread stopper([&] {
    std::this_thread::sleep_for(20ms);
    stop.request();
  });
  EXPECT_TRUE(clock.waitFor(std::chrono::hours(1), stop));
  stopper.join();
  EXPECT_TRUE(clock.waitFor(std::chrono::hours(1), stop));
  EXPECT_TRUE(stop.requested());
}

TEST(FakeClockTest, WaitsJumpToTheirDeadlineUnlessAStopEndsThem) {
  testing::FakeClock clock;
  StopSignal stop;
  int hooks = 0;
  clock.setHook([&](std::chrono::microseconds duration) {
    if (++hooks == 2) {
      EXPECT_EQ(duration, 5s);
      std::thread([&] { stop.request(); }).join();
    }
  });
  const auto start = clock.now();
  EXPECT_FALSE(clock.waitUntil(start + 1h, stop));
  EXPECT_EQ(clock.now(), start + 1h);
  EXPECT_TRUE(clock.waitFor(5s, stop));  // stopped while it waited
  EXPECT_TRUE(clock.waitFor(7s, stop));  // stopped before: time stands still
  EXPECT_EQ(clock.elapsed(), 1h + 5s);
  EXPECT_EQ(hooks, 2);
  const std::vector<std::chrono::microseconds> waits{1h, 5s, 7s};
  EXPECT_EQ(clock.waits(), waits);
  EXPECT_TRUE(clock.sleeps().empty());
}

}  // namespace
}  // namespace vellory
