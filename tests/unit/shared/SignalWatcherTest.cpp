#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include "shared/SignalWatcher.hpp"

namespace vellory {
namespace {

TEST(SignalWatcher, ChildStatusesAreKeptAndClosedPipesDoNotKill) {
  signal(SIGCHLD, SIG_IGN);
  SignalWatcher watcher;
  struct sigaction current {};
  sigaction(SIGCHLD, nullptr, &current);
  EXPECT_EQ(current.sa_handler, SIG_DFL);
  const pid_t child = fork();
  if (child == 0) _exit(7);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 7);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  EXPECT_EQ(write(fds[1], "x", 1), -1);
  close(fds[1]);
}

// Runs `body` in a child started with SIGINT and SIGTERM ignored, as a shell starts a background
// job; returns the child's raw wait status.
template <class Body>
int underIgnoringParent(Body body) {
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

TEST(SignalWatcher, SignalsIgnoredByTheParentStillReachTheWatcher) {
  for (const int signalNumber : {SIGINT, SIGTERM}) {
    // Not installed: the signal ends the process by its default action (the fabric tool, which
    // never installs a handler).
    const int unhandled = underIgnoringParent([signalNumber] {
      SignalWatcher watcher;
      struct sigaction current {};
      sigaction(signalNumber, nullptr, &current);
      if (current.sa_handler != SIG_DFL) return 3;
      kill(getpid(), signalNumber);
      sleep(5);
      return 4;
    });
    EXPECT_TRUE(WIFSIGNALED(unhandled) && WTERMSIG(unhandled) == signalNumber)
        << "signal " << signalNumber << ", status " << unhandled;

    // Installed: the handler runs.
    const int handled = underIgnoringParent([signalNumber] {
      SignalWatcher watcher;
      std::atomic<int> seen{0};
      watcher.install([&seen](int number) { seen = number; });
      kill(getpid(), signalNumber);
      for (int i = 0; i < 500 && seen.load() == 0; ++i) usleep(10'000);
      return seen.load() == signalNumber ? 0 : 5;
    });
    EXPECT_TRUE(WIFEXITED(handled) && WEXITSTATUS(handled) == 0)
        << "signal " << signalNumber << ", status " << handled;
  }
}

}  // namespace
}  // namespace vellory
