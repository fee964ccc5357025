#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace
}  // namespace vellory
