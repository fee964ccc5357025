#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "shared/Clock.hpp"
#include "shared/StopSignal.hpp"

namespace vellory::testing {

// A clock that only moves when slept on or advanced, and records every sleep.
class StepClock : public Clock {
 public:
  std::chrono::steady_clock::time_point now() override { return current; }
  void sleepFor(std::chrono::microseconds duration) override {
    sleeps.push_back(duration);
    current += duration;
  }
  std::chrono::steady_clock::time_point current{};
  std::vector<std::chrono::microseconds> sleeps;
};

// A stop request that arrives after a given number of waits; each wait before it advances the
// clock to its deadline and runs `onWait` (the tick follows right after).
class ScriptedStop : public StopSignal {
 public:
  ScriptedStop(StepClock& clock, int waitsBeforeStop) : clock_(clock), left_(waitsBeforeStop) {}
  bool waitUntil(std::chrono::steady_clock::time_point deadline) override {
    deadlines.push_back(deadline - clock_.current);
    if (left_-- <= 0) return true;
    clock_.current = deadline;
    if (onWait) onWait(static_cast<int>(deadlines.size()));
    return false;
  }
  std::vector<std::chrono::steady_clock::duration> deadlines;
  std::function<void(int)> onWait;

 private:
  StepClock& clock_;
  int left_;
};

}  // namespace vellory::testing
