#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace vellory {

// A child process could not be started; `what()` is the system's description of why.
class LaunchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A child process with its standard output and standard error on pipes and its standard input on
// the null device. It starts with default signal dispositions and an empty signal mask and
// inherits no other descriptor of ours. It runs in a process group of its own, so that signals
// meant for our group (a terminal's Ctrl-C) reach only us. Destroying it kills a child that still
// runs and reaps it.
class ChildProcess {
 public:
  // Any thread. Starts `program` (a path, not searched) with `args` after the program name.
  // Fails with LaunchError.
  static std::unique_ptr<ChildProcess> launch(const std::string& program,
                                              const std::vector<std::string>& args);

  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Any thread. The child's process ID; signal it only through this object.
  pid_t pid() const { return pid_; }

  // Read ends of the child's standard output and standard error; owned by this object, valid
  // until it is destroyed. Read them from one thread each.
  int outputFd() const { return outputFd_; }
  int errorFd() const { return errorFd_; }

  // Any thread, at any time. True from the launch until the child has ended.
  bool isRunning();

  // Any thread, at any time. Sends SIGTERM to a child that has not ended; afterwards does
  // nothing. True when the signal went to a child that had not ended.
  bool terminate();

  // Any thread, at any time. Like `terminate`, with SIGKILL.
  bool kill();

  // Any thread. Blocks until the child has ended, or until `timeout` has passed; true when it
  // has ended.
  bool waitForExit(std::chrono::milliseconds timeout);

  // Any thread. Blocks until the child has ended.
  void waitForExit();

  // Any thread, after the child has ended: its exit code, or the number of the signal that
  // ended it. -1 while it runs.
  int terminationStatus();

 private:
  ChildProcess(pid_t pid, int outputFd, int errorFd);
  // Collects the child's status if it has ended. Caller holds `mutex_`.
  void pollLocked();
  bool signalLocked(int signalNumber);

  std::mutex mutex_;
  pid_t pid_;
  bool reaped_ = false;
  int status_ = -1;
  int outputFd_;
  int errorFd_;
};

}  // namespace vellory
