#include "shared/Clock.hpp"

#include <thread>

namespace vellory {

std::chrono::steady_clock::time_point SystemClock::now() {
  return std::chrono::steady_clock::now();
}

void SystemClock::sleepFor(std::chrono::microseconds duration) {
  std::this_thread::sleep_for(duration);
}

bool SystemClock::waitUntil(std::chrono::steady_clock::time_point deadline, StopSignal& stop) {
  return stop.waitUntil(deadline);
}

}  // namespace vellory
