#include "player/PlayerClock.hpp"

namespace vellory::player {

std::chrono::steady_clock::time_point SystemPlayerClock::now() {
  return std::chrono::steady_clock::now();
}

void SystemPlayerClock::waitFor(std::chrono::microseconds duration) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, duration, [&] { return interrupted_; });
}

void SystemPlayerClock::interrupt() {
  std::lock_guard lock(mutex_);
  interrupted_ = true;
  changed_.notify_all();
}

}  // namespace vellory::player
