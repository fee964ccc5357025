#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

#include "shared/Clock.hpp"

namespace vellory::testing {

// A clock that never waits for real. Each sleep is recorded and moves `now` forward by its
// length. A wait on a stop request ends at once when the request came before it; otherwise it
// moves `now` to its deadline and ends, stopped when a request came meanwhile (from the hook or
// another thread). The hook, when set, runs at every sleep and wait (after the clock has moved)
// with its length, so a test can act while time passes (play buffers, deliver a signal).
// Thread-safe.
class FakeClock : public Clock {
 public:
  using Hook = std::function<void(std::chrono::microseconds duration)>;

  std::chrono::steady_clock::time_point now() override;
  void sleepFor(std::chrono::microseconds duration) override;
  bool waitUntil(std::chrono::steady_clock::time_point deadline, StopSignal& stop) override;

  void setHook(Hook hook);
  // Moves `now` forward without recording a sleep.
  void advance(std::chrono::microseconds duration);
  // Time since the clock was made.
  std::chrono::microseconds elapsed() const;
  std::vector<std::chrono::microseconds> sleeps() const;
  // The length of each wait from its start to its deadline, stopped or not.
  std::vector<std::chrono::microseconds> waits() const;

 private:
  // Moves the clock by `duration` and runs the hook.
  void pass(std::chrono::microseconds duration);

  mutable std::mutex mutex_;
  std::chrono::microseconds elapsed_{0};
  std::vector<std::chrono::microseconds> sleeps_;
  std::vector<std::chrono::microseconds> waits_;
  Hook hook_;
};

}  // namespace vellory::testing
