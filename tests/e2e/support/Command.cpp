#include "e2e/support/Command.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <stdexcept>

extern char** environ;

namespace vellory::e2e {

namespace {

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> values;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    const auto eq = text.find('=');
    if (eq != std::string::npos) values[text.substr(0, eq)] = text.substr(eq + 1);
  }
  for (const auto& [name, value] : extra) values[name] = value;
  std::vector<std::string> env;
  for (const auto& [name, value] : values) env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (auto& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

int decodeStatus(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

std::string program(const std::string& name) {
  return std::string(VELLORY_BIN_DIR) + "/" + name;
}

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::map<std::string, std::string>& extraEnv) {
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> args = argv;
  std::vector<std::string> env = environmentWith(extraEnv);
  auto argPointers = pointers(args);
  auto envPointers = pointers(env);
  const int result = posix_spawnp(&pid_, args[0].c_str(), &actions, &attributes, argPointers.data(),
                                  envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(outPipe[1]);
  close(errPipe[1]);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
  if (result != 0) {
    close(outFd_);
    close(errFd_);
    throw std::runtime_error("cannot start " + args[0]);
  }
}

BackgroundProcess::~BackgroundProcess() {
  if (!finished_) {
    kill(pid_, SIGKILL);
    int raw = 0;
    waitpid(pid_, &raw, 0);
  }
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

void BackgroundProcess::signal(int signalNumber) {
  if (!finished_) kill(pid_, signalNumber);
}

void BackgroundProcess::drain(bool block) {
  for (;;) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    const int ready = poll(fds, 2, block ? 20 : 0);
    if (ready <= 0) return;
    bool readSomething = false;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? out_ : err_).append(buffer, static_cast<std::size_t>(n));
        readSomething = true;
      }
    }
    if (!readSomething) return;
  }
}

std::string BackgroundProcess::outputSoFar() {
  drain(false);
  return out_;
}

std::string BackgroundProcess::errorsSoFar() {
  drain(false);
  return err_;
}

std::optional<CommandResult> BackgroundProcess::wait(std::chrono::milliseconds timeout) {
  if (finished_) return CommandResult{status_, out_, err_, false};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    drain(true);
    int raw = 0;
    const pid_t done = waitpid(pid_, &raw, WNOHANG);
    if (done == pid_) {
      finished_ = true;
      status_ = decodeStatus(raw);
      // Whatever the program wrote before it ended.
      for (int i = 0; i < 50; ++i) drain(false);
      return CommandResult{status_, out_, err_, false};
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
  }
}

CommandResult runCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::map<std::string, std::string>& extraEnv) {
  BackgroundProcess process(argv, extraEnv);
  if (auto result = process.wait(timeout)) return *result;
  process.signal(SIGKILL);
  auto result = process.wait(std::chrono::seconds(5)).value_or(CommandResult{});
  result.timedOut = true;
  return result;
}

}  // namespace vellory::e2e
