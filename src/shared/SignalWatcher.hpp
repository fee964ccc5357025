#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace vellory {

// Receives SIGINT and SIGTERM on a dedicated thread. Construct it first thing in main, before
// any other thread exists: it blocks both signals in the calling thread, so every later thread
// inherits the mask and no library thread can be killed by them. Both get their default action
// back, even when the parent ignored them. Until `install`, a signal keeps that default action
// (the process ends); afterwards each delivery runs the handler on the
// watcher's thread. The handler should only ask the program to end. SIGPIPE is ignored from the
// start, so that writing to a closed pipe fails instead of ending the program.
class SignalWatcher {
 public:
  SignalWatcher();
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  // Any thread. From now on SIGINT and SIGTERM call `handler(signalNumber)`.
  void install(std::function<void(int)> handler);

 private:
  void waitLoop();

  std::mutex mutex_;
  std::function<void(int)> handler_;
  std::atomic<bool> exiting_{false};
  std::thread thread_;
};

}  // namespace vellory
