#pragma once

#include <pulse/pulseaudio.h>

#include <string>

namespace vellory::pulse {

// Holds a threaded loop's lock for one scope.
class LoopLock {
 public:
  // On the loop's own thread the lock is held already, by the loop while it runs our callbacks.
  explicit LoopLock(pa_threaded_mainloop* loop)
      : loop_(pa_threaded_mainloop_in_thread(loop) ? nullptr : loop) {
    if (loop_ != nullptr) pa_threaded_mainloop_lock(loop_);
  }
  ~LoopLock() {
    if (loop_ != nullptr) pa_threaded_mainloop_unlock(loop_);
  }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

// The functions below need the loop lock held and run on a caller's thread, never the loop's own.

// A new context connected to the server (PULSE_SERVER or the default, never spawning one) and
// ready; nullptr when the server cannot be reached. Its state changes wake the loop.
pa_context* connectContext(pa_threaded_mainloop* loop, const std::string& clientName);

// Waits until an operation has completed; false when it failed, the connection broke or no
// operation was started. Releases the operation.
bool awaitOperation(pa_threaded_mainloop* loop, pa_context* context, pa_operation* operation);

// Disconnects and releases a context; nothing for nullptr.
void releaseContext(pa_context* context);

}  // namespace vellory::pulse
