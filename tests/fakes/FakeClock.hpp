#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

#include "shared/Clock.hpp"

namespace vellory::testing {

// A clock that never waits: each sleep is recorded and moves `now` forward by its length. The
// hook, when set, runs at every sleep (after the clock has moved) with the sleep's length, so a
// test can act during a pause (play buffers, deliver a signal). Thread-safe.
class FakeClock : public Clock {
 public:
  using Hook = std::function<void(std::chrono::microseconds duration)>;

  std::chrono::steady_clock::time_point now() override;
  void sleepFor(std::chrono::microseconds duration) override;

  void setHook(Hook hook);
  // Moves `now` forward without recording a sleep.
  void advance(std::chrono::microseconds duration);
  // Time since the clock was made.
  std::chrono::microseconds elapsed() const;
  std::vector<std::chrono::microseconds> sleeps() const;

 private:
  mutable std::mutex mutex_;
  std::chrono::microseconds elapsed_{0};
  std::vector<std::chrono::microseconds> sleeps_;
  Hook hook_;
};

}  // namespace vellory::testing
