#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "fakes/FakeClock.hpp"
#include "shared/StopSignal.hpp"

namespace vellory::testing {

// A stop request that arrives during the wait after a given number of waits on the clock; each
// wait before it runs `onWait` once the clock has reached its deadline (the tick follows right
// after). Records the length of every wait.
class ScriptedStop : public StopSignal {
 public:
  ScriptedStop(FakeClock& clock, int waitsBeforeStop) : clock_(clock), left_(waitsBeforeStop) {
    clock_.setHook([this](std::chrono::microseconds duration) {
      deadlines.push_back(duration);
      if (left_-- <= 0) {
        request();
      } else if (onWait) {
        onWait(static_cast<int>(deadlines.size()));
      }
    });
  }
  ~ScriptedStop() { clock_.setHook({}); }
  ScriptedStop(const ScriptedStop&) = delete;
  ScriptedStop& operator=(const ScriptedStop&) = delete;

  std::vector<std::chrono::steady_clock::duration> deadlines;
  std::function<void(int)> onWait;

 private:
  FakeClock& clock_;
  int left_;
};

}  // namespace vellory::testing
