#include "announcement/MainLoop.hpp"

#include <algorithm>

namespace vellory::announcement {

namespace {

using TimePoint = std::chrono::steady_clock::time_point;

// `from` + `delay`, held at the clock's last moment: a delay of centuries overflows the clock's
// nanoseconds and would come out in the past.
TimePoint later(TimePoint from, std::chrono::microseconds delay) {
  if (delay <= std::chrono::microseconds::zero()) return from;
  const auto room = std::chrono::floor<std::chrono::microseconds>(TimePoint::max() - from);
  if (delay >= room) return TimePoint::max();
  return from + delay;
}

}  // namespace

void MainLoop::scheduleOnce(std::chrono::microseconds delay, std::function<void()> action) {
  timers_.push_back(Timer{later(clock_.now(), delay), std::move(action)});
}

void MainLoop::runFor(std::chrono::microseconds duration) {
  const auto deadline = later(clock_.now(), duration);
  for (;;) {
    auto now = clock_.now();
    const auto due = std::min_element(timers_.begin(), timers_.end(),
                                      [](const Timer& a, const Timer& b) { return a.due < b.due; });
    if (due != timers_.end() && due->due <= now) {
      const std::function<void()> action = std::move(due->action);
      timers_.erase(due);
      action();
      continue;
    }
    if (now >= deadline) return;
    auto wake = deadline;
    if (due != timers_.end()) wake = std::min(wake, due->due);
    clock_.sleepFor(std::chrono::ceil<std::chrono::microseconds>(wake - now));
  }
}

}  // namespace vellory::announcement
