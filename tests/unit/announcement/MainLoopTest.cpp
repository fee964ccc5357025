#include <gtest/gtest.h>

#include <string>

#include "announcement/MainLoop.hpp"
#include "announcement/Seconds.hpp"
#include "fakes/FakeClock.hpp"

namespace vellory::announcement {
namespace {

using namespace std::chrono_literals;

TEST(MainLoop, TimersFireWhenDueAndAbsurdDelaysNever) {
  testing::FakeClock clock;
  MainLoop loop(clock);
  std::string fired;
  // From about 292 years on, a delay no longer fits the clock's nanoseconds.
  for (const double seconds : {9.3e9, 1e10, 1.5e10, 1e11, 1e12, 1e300}) {
    loop.scheduleOnce(microsecondsOf(seconds),
                      [&fired, seconds] { fired += "after " + std::to_string(seconds) + " s "; });
  }
  loop.scheduleOnce(300ms, [&] { fired += "late "; });
  loop.scheduleOnce(100ms, [&] { fired += "early "; });
  loop.scheduleOnce(-5ms, [&] { fired += "past "; });
  loop.runFor(1s);
  EXPECT_EQ(fired, "past early late ");
  EXPECT_EQ(clock.elapsed(), 1s);
  loop.runFor(microsecondsOf(1e6));  // about eleven days
  EXPECT_EQ(fired, "past early late ");
}

}  // namespace
}  // namespace vellory::announcement
