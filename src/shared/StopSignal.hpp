#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vellory {

// A request to end, raised by a signal handler and awaited by the main thread. Tools wait for it
// through their clock (`Clock::waitUntil`), so that tests can run the waits on fake time. Any
// thread.
class StopSignal {
 public:
  void request();
  bool requested();
  // Waits until `deadline` on the system's steady clock or a request, whichever comes first;
  // true when a request came.
  bool waitUntil(std::chrono::steady_clock::time_point deadline);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool requested_ = false;
};

}  // namespace vellory
