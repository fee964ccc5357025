#pragma once

#include <chrono>

#include "shared/StopSignal.hpp"

namespace vellory {

// Time as the tools see it, so that tests can run on a controlled clock. Every timed wait of a
// tool goes through its clock. Any thread.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::steady_clock::time_point now() = 0;
  virtual void sleepFor(std::chrono::microseconds duration) = 0;
  // Waits until `deadline` or until `stop` is requested, whichever comes first; a request made
  // before the call ends it at once. True when the request ended the wait.
  virtual bool waitUntil(std::chrono::steady_clock::time_point deadline, StopSignal& stop) = 0;

  bool waitFor(std::chrono::microseconds duration, StopSignal& stop) {
    return waitUntil(now() + duration, stop);
  }
};

class SystemClock : public Clock {
 public:
  std::chrono::steady_clock::time_point now() override;
  void sleepFor(std::chrono::microseconds duration) override;
  bool waitUntil(std::chrono::steady_clock::time_point deadline, StopSignal& stop) override;
};

}  // namespace vellory
