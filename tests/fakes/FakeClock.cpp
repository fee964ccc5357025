#include "fakes/FakeClock.hpp"

namespace vellory::testing {

std::chrono::steady_clock::time_point FakeClock::now() {
  std::lock_guard lock(mutex_);
  return now_;
}

void FakeClock::sleepFor(std::chrono::microseconds duration) {
  std::function<void(std::chrono::microseconds)> hook;
  {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(duration);
    now_ += duration;
    hook = onSleep;
  }
  if (hook) hook(duration);
}

void FakeClock::advance(std::chrono::microseconds duration) {
  std::lock_guard lock(mutex_);
  now_ += duration;
}

std::vector<std::chrono::microseconds> FakeClock::sleeps() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

}  // namespace vellory::testing
