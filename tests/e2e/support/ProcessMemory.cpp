#include "e2e/support/ProcessMemory.hpp"

#include <cstdlib>
#include <fstream>
#include <string>

namespace vellory::e2e {

long peakMemoryKB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

}  // namespace vellory::e2e
