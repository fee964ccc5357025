#pragma once

#include <atomic>

namespace vellory {

// Lets platform callbacks into an object run without taking a lock, while its teardown still
// waits for those already inside. A callback enters, and leaves when done; once `close` has
// returned, no callback is inside and none enters again. Lock-free for the callbacks, any thread.
class CallGate {
 public:
  // False once closed: the caller must then leave the object alone (and not call `leave`).
  bool enter();
  void leave();
  // Bars new entries and waits for the callbacks inside to leave. Never from inside a callback.
  void close();
  bool closed() const { return closed_.load(); }

 private:
  std::atomic<int> inside_{0};
  std::atomic<bool> closed_{false};
};

}  // namespace vellory
