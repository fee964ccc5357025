#include "fakes/FakeClock.hpp"

#include <algorithm>

namespace vellory::testing {

namespace {

// Away from the clock's zero, so that code subtracting from `now` stays in range.
constexpr std::chrono::steady_clock::time_point origin{std::chrono::hours(1)};

}  // namespace

std::chrono::steady_clock::time_point FakeClock::now() {
  std::lock_guard lock(mutex_);
  return origin + elapsed_;
}

void FakeClock::pass(std::chrono::microseconds duration) {
  Hook hook;
  {
    std::lock_guard lock(mutex_);
    elapsed_ += duration;
    hook = hook_;
  }
  if (hook) hook(duration);
}

void FakeClock::sleepFor(std::chrono::microseconds duration) {
  {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(duration);
  }
  pass(duration);
}

bool FakeClock::waitUntil(std::chrono::steady_clock::time_point deadline, StopSignal& stop) {
  std::chrono::microseconds length;
  {
    std::lock_guard lock(mutex_);
    length = std::chrono::ceil<std::chrono::microseconds>(deadline - (origin + elapsed_));
    waits_.push_back(length);
  }
  if (stop.requested()) return true;
  pass(std::max(length, std::chrono::microseconds::zero()));
  return stop.requested();
}

void FakeClock::setHook(Hook hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

void FakeClock::advance(std::chrono::microseconds duration) {
  std::lock_guard lock(mutex_);
  elapsed_ += duration;
}

std::chrono::microseconds FakeClock::elapsed() const {
  std::lock_guard lock(mutex_);
  return elapsed_;
}

std::vector<std::chrono::microseconds> FakeClock::sleeps() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

std::vector<std::chrono::microseconds> FakeClock::waits() const {
  std::lock_guard lock(mutex_);
  return waits_;
}

}  // namespace vellory::testing
