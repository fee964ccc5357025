#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vellory {

// A request to end, raised by a signal handler and awaited by the main thread. Any thread.
class StopSignal {
 public:
  virtual ~StopSignal() = default;
  virtual void request();
  virtual bool requested();
  // Waits until `deadline` or a request, whichever comes first; true when a request came.
  virtual bool waitUntil(std::chrono::steady_clock::time_point deadline);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool requested_ = false;
};

}  // namespace vellory
