#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

#include "shared/Clock.hpp"

namespace vellory::testing {

// A clock that never waits: each sleep is recorded and moves `now` forward by its length.
// `onSleep`, when set, runs at every sleep (after the clock has moved), so a test can act
// during a pause. Thread-safe.
class FakeClock : public Clock {
 public:
  std::chrono::steady_clock::time_point now() override;
  void sleepFor(std::chrono::microseconds duration) override;

  // Moves `now` forward without recording a sleep.
  void advance(std::chrono::microseconds duration);
  std::vector<std::chrono::microseconds> sleeps() const;

  std::function<void(std::chrono::microseconds)> onSleep;

 private:
  mutable std::mutex mutex_;
  std::chrono::steady_clock::time_point now_{};
  std::vector<std::chrono::microseconds> sleeps_;
};

}  // namespace vellory::testing
