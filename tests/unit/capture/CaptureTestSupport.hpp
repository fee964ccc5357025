#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "fakes/FakeClock.hpp"
#include "shared/StopSignal.hpp"

namespace vellory::testing {

// A stop request that arrives after a given number of waits; each wait before it advances the
// clock to its deadline and runs `onWait` (the tick follows right after).
class ScriptedStop : public StopSignal {
 public:
  ScriptedStop(FakeClock& clock, int waitsBeforeStop) : clock_(clock), left_(waitsBeforeStop) {}
  bool waitUntil(std::chrono::steady_clock::time_point deadline) override {
    const auto left = deadline - clock_.now();
    deadlines.push_back(left);
    if (left_-- <= 0) {
      request();
      return true;
    }
    clock_.advance(std::chrono::duration_cast<std::chrono::microseconds>(left));
    if (onWait) onWait(static_cast<int>(deadlines.size()));
    return false;
  }
  std::vector<std::chrono::steady_clock::duration> deadlines;
  std::function<void(int)> onWait;

 private:
  FakeClock& clock_;
  int left_;
};

}  // namespace vellory::testing
