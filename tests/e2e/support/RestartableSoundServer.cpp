#include "e2e/support/RestartableSoundServer.hpp"

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "e2e/support/Command.hpp"

namespace vellory::e2e {

namespace {

std::string soundServerScript() {
  return std::string(VELLORY_SOURCE_DIR) + "/scripts/sound-server";
}

}  // namespace

RestartableSoundServer::RestartableSoundServer() {
  start();
}

RestartableSoundServer::~RestartableSoundServer() {
  runCommand({soundServerScript(), "stop", dir_.path()}, std::chrono::seconds(20));
}

void RestartableSoundServer::start() {
  const auto result = runCommand({soundServerScript(), "start", dir_.path(), serverKind()},
                                 std::chrono::seconds(30));
  if (result.status != 0) throw std::runtime_error("sound-server start: " + result.err);
  // "export NAME=value NAME=value ..."
  std::istringstream words(result.out);
  std::string word;
  environment_.clear();
  while (words >> word) {
    const auto equals = word.find('=');
    if (equals != std::string::npos) environment_[word.substr(0, equals)] = word.substr(equals + 1);
  }
  if (environment_.count("PULSE_SERVER") == 0) {
    throw std::runtime_error("sound-server start printed no PULSE_SERVER: " + result.out);
  }
}

void RestartableSoundServer::kill() {
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    if (entry.path().extension() != ".pid") continue;
    pid_t pid = 0;
    std::ifstream(entry.path()) >> pid;
    if (pid > 0) ::kill(pid, SIGKILL);
  }
}

UsingServer::UsingServer(const std::map<std::string, std::string>& environment) {
  for (const auto& [name, value] : environment) {
    const char* old = getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    setenv(name.c_str(), value.c_str(), 1);
  }
}

UsingServer::~UsingServer() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

}  // namespace vellory::e2e
