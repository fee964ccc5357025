#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "shared/Clock.hpp"

namespace vellory::announcement {

// The owner thread's loop: one-shot timers that fire while the loop runs, on that thread.
// Time and sleeping come from the clock. Owner thread only.
class MainLoop {
 public:
  explicit MainLoop(Clock& clock) : clock_(clock) {}

  // Runs `action` once, `delay` after now, inside a later `runFor`.
  void scheduleOnce(std::chrono::microseconds delay, std::function<void()> action);

  // Sleeps until `duration` has passed, firing the timers that fall due meanwhile. A timer's
  // action runs to its end even when that takes past the deadline.
  void runFor(std::chrono::microseconds duration);

 private:
  struct Timer {
    std::chrono::steady_clock::time_point due;
    std::function<void()> action;
  };

  Clock& clock_;
  std::vector<Timer> timers_;
};

}  // namespace vellory::announcement
