#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vellory::player {

// The main thread's time and timed waits, so that tests can run the flow on a controlled clock.
// A stop interrupts the waits, so that it is noticed at once.
class PlayerClock {
 public:
  virtual ~PlayerClock() = default;

  // Any thread.
  virtual std::chrono::steady_clock::time_point now() = 0;

  // Main thread. Waits for `duration`; returns at once when interrupted.
  virtual void waitFor(std::chrono::microseconds duration) = 0;

  // Any thread. Ends the wait in progress and every later one.
  virtual void interrupt() = 0;
};

class SystemPlayerClock : public PlayerClock {
 public:
  std::chrono::steady_clock::time_point now() override;
  void waitFor(std::chrono::microseconds duration) override;
  void interrupt() override;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool interrupted_ = false;
};

}  // namespace vellory::player
