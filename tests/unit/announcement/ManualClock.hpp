#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

#include "shared/Clock.hpp"

namespace vellory::testing {

// A clock whose time moves only when someone sleeps: a sleep adds its length at once and then
// runs the hook, so a test can act "during" the sleep (play buffers, deliver a signal).
class ManualClock : public Clock {
 public:
  using Hook = std::function<void(std::chrono::microseconds elapsed)>;

  std::chrono::steady_clock::time_point now() override {
    std::lock_guard lock(mutex_);
    return start() + elapsed_;
  }

  void sleepFor(std::chrono::microseconds duration) override {
    Hook hook;
    std::chrono::microseconds elapsed{};
    {
      std::lock_guard lock(mutex_);
      elapsed_ += duration;
      sleeps_.push_back(duration);
      elapsed = elapsed_;
      hook = hook_;
    }
    if (hook) hook(elapsed);
  }

  void setHook(Hook hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
  }

  std::chrono::microseconds elapsed() {
    std::lock_guard lock(mutex_);
    return elapsed_;
  }

  std::vector<std::chrono::microseconds> sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

  static std::chrono::steady_clock::time_point start() {
    return std::chrono::steady_clock::time_point(std::chrono::hours(1));
  }

 private:
  std::mutex mutex_;
  std::chrono::microseconds elapsed_{0};
  std::vector<std::chrono::microseconds> sleeps_;
  Hook hook_;
};

}  // namespace vellory::testing
