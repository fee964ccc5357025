#include "shared/ChildProcess.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "shared/ErrorLine.hpp"

extern char** environ;

namespace vellory {

namespace {

// Both ends close on exec; the child gets its ends only through the spawn's dup2 actions.
void makePipe(int fds[2]) {
#if defined(__linux__)
  if (pipe2(fds, O_CLOEXEC) != 0) throw LaunchError(std::string("pipe: ") + std::strerror(errno));
#else
  // Other threads spawning at the same moment could inherit these before FD_CLOEXEC is set;
  // the spawn below closes everything it does not hand over (POSIX_SPAWN_CLOEXEC_DEFAULT).
  if (pipe(fds) != 0) throw LaunchError(std::string("pipe: ") + std::strerror(errno));
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  fcntl(fds[1], F_SETFD, FD_CLOEXEC);
#endif
  // A descriptor at 0, 1 or 2 (when ours are closed) would be clobbered by the dup2 actions.
  for (int i = 0; i < 2; ++i) {
    if (fds[i] > 2) continue;
    const int moved = fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    close(fds[i]);
    fds[i] = moved;
  }
}

void closeBoth(int fds[2]) {
  if (fds[0] >= 0) close(fds[0]);
  if (fds[1] >= 0) close(fds[1]);
}

// Owns the spawn attributes and file actions for the length of one launch.
class SpawnSetup {
 public:
  SpawnSetup(int outputWriteFd, int errorWriteFd) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, outputWriteFd, 1);
    posix_spawn_file_actions_adddup2(&actions_, errorWriteFd, 2);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    // A process group of its own: a terminal's Ctrl-C goes to the whole foreground group, and a
    // child in ours could die of it before we have acted on our own copy. We end the child.
    posix_spawnattr_setpgroup(&attributes_, 0);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP;
    // Nothing but the three standard descriptors reaches the child, whatever we inherited
    // without close-on-exec ourselves.
#if defined(__APPLE__)
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
#else
    posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
#endif
    posix_spawnattr_setflags(&attributes_, flags);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  const posix_spawn_file_actions_t* actions() const {
    return &actions_;
  }
  const posix_spawnattr_t* attributes() const {
    return &attributes_;
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::launch(const std::string& program,
                                                   const std::vector<std::string>& args) {
  int output[2] = {-1, -1};
  int error[2] = {-1, -1};
  try {
    makePipe(output);
    makePipe(error);
  } catch (...) {
    closeBoth(output);
    closeBoth(error);
    throw;
  }
  std::vector<std::string> words;
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_t pid = -1;
  int result = 0;
  {
    SpawnSetup setup(output[1], error[1]);
    result = posix_spawn(&pid, program.c_str(), setup.actions(), setup.attributes(), argv.data(),
                         environ);
  }
  close(output[1]);
  close(error[1]);
  if (result != 0) {
    close(output[0]);
    close(error[0]);
    throw LaunchError("Could not launch " + boundedText(program) + ": " + std::strerror(result) +
                      ".");
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, output[0], error[0]));
}

ChildProcess::ChildProcess(pid_t pid, int outputFd, int errorFd)
    : pid_(pid), outputFd_(outputFd), errorFd_(errorFd) {}

ChildProcess::~ChildProcess() {
  if (!waitForExit(std::chrono::milliseconds(0))) {
    kill();
    waitForExit();
  }
  close(outputFd_);
  close(errorFd_);
}

void ChildProcess::pollLocked() {
  if (reaped_) return;
  int raw = 0;
  pid_t done = 0;
  do {
    done = waitpid(pid_, &raw, WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done == pid_) {
    if (WIFEXITED(raw)) {
      status_ = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
      status_ = WTERMSIG(raw);
    }
    reaped_ = true;
  } else if (done < 0) {
    // Someone else reaped it (ECHILD): it has ended, with an unknown status.
    reaped_ = true;
  }
}

bool ChildProcess::isRunning() {
  std::lock_guard lock(mutex_);
  pollLocked();
  return !reaped_;
}

bool ChildProcess::signalLocked(int signalNumber) {
  pollLocked();
  // Only an unreaped pid is signalled: until we reap it, the pid cannot belong to anyone else.
  if (reaped_) return false;
  return ::kill(pid_, signalNumber) == 0;
}

bool ChildProcess::terminate() {
  std::lock_guard lock(mutex_);
  return signalLocked(SIGTERM);
}

bool ChildProcess::kill() {
  std::lock_guard lock(mutex_);
  return signalLocked(SIGKILL);
}

bool ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (!isRunning()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void ChildProcess::waitForExit() {
  while (isRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

int ChildProcess::terminationStatus() {
  std::lock_guard lock(mutex_);
  pollLocked();
  return status_;
}

}  // namespace vellory
