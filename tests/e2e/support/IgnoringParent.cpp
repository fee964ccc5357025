#include "e2e/support/IgnoringParent.hpp"

#include <signal.h>

#include <fstream>
#include <stdexcept>

namespace vellory::e2e {

std::vector<std::string> underIgnoringParent(const std::vector<std::string>& argv) {
  std::vector<std::string> wrapped{"/bin/sh", "-c", "trap '' INT TERM; exec \"$@\"", "sh"};
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  return wrapped;
}

bool ignoresStopSignals(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigIgn:", 0) != 0) continue;
    const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
    const auto bit = [](int signalNumber) { return 1ull << (signalNumber - 1); };
    return (mask & (bit(SIGINT) | bit(SIGTERM))) != 0;
  }
  throw std::runtime_error("no SigIgn line for process " + std::to_string(pid));
}

}  // namespace vellory::e2e
