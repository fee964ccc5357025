#pragma once

#include <map>
#include <optional>
#include <string>

#include "e2e/support/SoundFixtures.hpp"

namespace vellory::e2e {

// A sound server of the test's own, of the kind the run uses (serverKind()), started with
// scripts/sound-server in a directory of its own, so that a test may kill it and start it again
// on the same socket without disturbing the server the other tests use. Stopped when destroyed.
class RestartableSoundServer {
 public:
  RestartableSoundServer();
  ~RestartableSoundServer();
  RestartableSoundServer(const RestartableSoundServer&) = delete;
  RestartableSoundServer& operator=(const RestartableSoundServer&) = delete;

  // The variables that point a client at this server.
  const std::map<std::string, std::string>& environment() const { return environment_; }
  // SIGKILL to every process of the server, as a crash would end it.
  void kill();
  // Starts it (again), on the same socket, with the same devices.
  void start();

 private:
  TempDir dir_;
  std::map<std::string, std::string> environment_;
};

// Points this process, and every program it starts, at another server while it lives.
class UsingServer {
 public:
  explicit UsingServer(const std::map<std::string, std::string>& environment);
  ~UsingServer();
  UsingServer(const UsingServer&) = delete;
  UsingServer& operator=(const UsingServer&) = delete;

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace vellory::e2e
