#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "shared/ChildProcess.hpp"

namespace vellory {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<ChildProcess> fakeDecoder(std::vector<std::string> script) {
  return ChildProcess::launch(VELLORY_FAKE_DECODER, script);
}

std::string readToEnd(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

// True when `fd` reaches its end within `timeout`.
bool endsWithin(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 20) <= 0) continue;
    if (read(fd, buffer, sizeof buffer) == 0) return true;
  }
  return false;
}

TEST(ChildProcess, PipesBothOutputsAndReportsTheExitStatus) {
  auto child = fakeDecoder({"hex:41424344", "say:to standard error", "exit:7"});
  EXPECT_EQ(readToEnd(child->outputFd()), "ABCD");
  EXPECT_EQ(readToEnd(child->errorFd()), "to standard error\n");
  child->waitForExit();
  EXPECT_FALSE(child->isRunning());
  EXPECT_EQ(child->terminationStatus(), 7);
  EXPECT_FALSE(child->terminate());  // nothing left to signal
  EXPECT_FALSE(child->kill());
}

TEST(ChildProcess, StartsWithDefaultSignalsEvenWhenTheParentBlocksOrIgnoresThem) {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &stopSignals, &before);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous {};
  sigaction(SIGTERM, &ignore, &previous);
  auto child = fakeDecoder({"hold"});
  sigaction(SIGTERM, &previous, nullptr);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);

  EXPECT_TRUE(child->isRunning());
  EXPECT_TRUE(child->terminate());
  EXPECT_TRUE(child->waitForExit(5s));
  EXPECT_EQ(child->terminationStatus(), SIGTERM);
}

// A terminal's Ctrl-C goes to our process group only; the child is ended by us.
TEST(ChildProcess, RunsInAProcessGroupOfItsOwn) {
  auto child = fakeDecoder({"hold"});
  EXPECT_EQ(getpgid(child->pid()), child->pid());
  EXPECT_NE(getpgid(child->pid()), getpgrp());
}

TEST(ChildProcess, KillEndsAChildThatIgnoresTerminate) {
  auto child = fakeDecoder({"ignore-term", "hex:00", "hold"});
  char byte = 1;
  ASSERT_EQ(read(child->outputFd(), &byte, 1), 1);  // SIGTERM is ignored from here on
  EXPECT_TRUE(child->terminate());
  EXPECT_FALSE(child->waitForExit(200ms));
  EXPECT_TRUE(child->kill());
  EXPECT_TRUE(child->waitForExit(5s));
  EXPECT_EQ(child->terminationStatus(), SIGKILL);
}

TEST(ChildProcess, InheritsNoDescriptorOfOthers) {
  // The second child must not hold the first one's pipes: the first one's output ends with it.
  auto first = fakeDecoder({"sleep:100"});
  auto second = fakeDecoder({"hold"});
  EXPECT_TRUE(endsWithin(first->outputFd(), 5s));
  EXPECT_TRUE(endsWithin(first->errorFd(), 1s));
  EXPECT_TRUE(second->isRunning());
}

TEST(ChildProcess, InheritsNothingWeHoldWithoutCloseOnExec) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  auto child = fakeDecoder({"hold"});
  close(fds[1]);
  EXPECT_TRUE(endsWithin(fds[0], 2s)) << "the child holds a descriptor it should not have";
  close(fds[0]);
}

TEST(ChildProcess, SignalsAndQueriesAreSafeFromManyThreadsAroundTheEnd) {
  for (int round = 0; round < 5; ++round) {
    auto child = fakeDecoder({"sleep:20"});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&child, t] {
        const auto until = std::chrono::steady_clock::now() + 60ms;
        while (std::chrono::steady_clock::now() < until) {
          if (t % 2 == 0) {
            child->isRunning();
          } else {
            child->terminationStatus();
          }
        }
      });
    }
    std::this_thread::sleep_for(10ms);
    child->terminate();
    for (auto& thread : threads) thread.join();
    // The signal is sent, not waited for: on a busy machine the child may take longer than the
    // threads' 60 ms to end.
    EXPECT_TRUE(child->waitForExit(2000ms));
    EXPECT_FALSE(child->isRunning());
    const int status = child->terminationStatus();
    EXPECT_TRUE(status == 0 || status == SIGTERM) << status;
    EXPECT_FALSE(child->terminate());
  }
}

TEST(ChildProcess, DestroyingARunningChildEndsAndReapsIt) {
  pid_t pid = 0;
  {
    auto child = fakeDecoder({"ignore-term", "hold"});
    EXPECT_TRUE(child->isRunning());
    pid = child->pid();
  }
  errno = 0;
  EXPECT_EQ(::kill(pid, 0), -1);  // gone, zombie included
  EXPECT_EQ(errno, ESRCH);
}

TEST(ChildProcess, LaunchFailureCarriesTheSystemsDescription) {
  try {
    ChildProcess::launch("/nonexistent/decoder", {"-i", "x"});
    ADD_FAILURE() << "launched";
  } catch (const LaunchError& error) {
    EXPECT_NE(std::string(error.what()).find("/nonexistent/decoder"), std::string::npos);
    EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos);
  }
}

}  // namespace
}  // namespace vellory
