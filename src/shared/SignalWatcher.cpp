#include "shared/SignalWatcher.hpp"

#include <pthread.h>
#include <signal.h>

namespace vellory {

namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

SignalWatcher::SignalWatcher() {
  // A reader that closed our standard output or error shows up as a failed write, not as death
  // by SIGPIPE: a tool must still undo what it built. Children get the default back when started.
  signal(SIGPIPE, SIG_IGN);
  // A parent that ignores SIGCHLD would have our children reaped by the kernel, and their exit
  // statuses lost.
  signal(SIGCHLD, SIG_DFL);
  // A parent may start us with SIGINT or SIGTERM ignored (a shell's background job does), and
  // some kernels discard an ignored signal even while it is blocked, so that `sigwait` would never
  // see it. With the default action a blocked signal stays pending until taken.
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  const sigset_t set = stopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  thread_ = std::thread([this] { waitLoop(); });
}

SignalWatcher::~SignalWatcher() {
  exiting_ = true;
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
}

void SignalWatcher::install(std::function<void(int)> handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void SignalWatcher::waitLoop() {
  const sigset_t set = stopSignals();
  for (;;) {
    int signalNumber = 0;
    if (sigwait(&set, &signalNumber) != 0) continue;
    if (exiting_) return;
    std::function<void(int)> handler;
    {
      std::lock_guard lock(mutex_);
      handler = handler_;
    }
    if (handler) {
      handler(signalNumber);
      continue;
    }
    // Not installed yet: the signal ends the process as its default action would.
    signal(signalNumber, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signalNumber);
  }
}

}  // namespace vellory
