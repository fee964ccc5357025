#pragma once

#include <chrono>

namespace vellory {

// Time as the tools see it, so that tests can run on a controlled clock. Any thread.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::steady_clock::time_point now() = 0;
  virtual void sleepFor(std::chrono::microseconds duration) = 0;
};

class SystemClock : public Clock {
 public:
  std::chrono::steady_clock::time_point now() override;
  void sleepFor(std::chrono::microseconds duration) override;
};

}  // namespace vellory
