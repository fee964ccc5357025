#include "shared/StopSignal.hpp"

namespace vellory {

void StopSignal::request() {
  // Notified under the lock: the waiter cannot return, and its owner destroy this object, while
  // the notification is still under way.
  std::lock_guard lock(mutex_);
  requested_ = true;
  changed_.notify_all();
}

bool StopSignal::requested() {
  std::lock_guard lock(mutex_);
  return requested_;
}

bool StopSignal::waitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  return changed_.wait_until(lock, deadline, [this] { return requested_; });
}

}  // namespace vellory
