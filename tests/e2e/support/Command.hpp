#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vellory::e2e {

struct CommandResult {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
  bool timedOut = false;
};

// Path of one of our programs in the build tree.
std::string program(const std::string& name);

// Runs a command to its end (killing it after `timeout`) and collects both outputs.
CommandResult runCommand(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30),
                         const std::map<std::string, std::string>& extraEnv = {});

// A command running in the background; killed with SIGKILL when destroyed unless waited for.
class BackgroundProcess {
 public:
  explicit BackgroundProcess(const std::vector<std::string>& argv,
                             const std::map<std::string, std::string>& extraEnv = {});
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int signalNumber);
  // Waits for the end; the result has the collected outputs. Empty on time-out.
  std::optional<CommandResult> wait(std::chrono::milliseconds timeout);
  // Everything written to standard output so far (reads what is available).
  std::string outputSoFar();
  std::string errorsSoFar();

 private:
  void drain(bool block);
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string out_;
  std::string err_;
  bool finished_ = false;
  int status_ = -1;
};

// Polls `condition` every 50 ms until it holds or `timeout` passes.
template <class F>
bool waitUntil(F condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    struct timespec pause {
      0, 50 * 1000 * 1000
    };
    nanosleep(&pause, nullptr);
  }
}

}  // namespace vellory::e2e
