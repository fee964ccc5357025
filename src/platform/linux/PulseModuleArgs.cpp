#include "platform/linux/PulseModuleArgs.hpp"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/PulseHardware.hpp"

namespace vellory::pulse {

std::string quoted(const std::string& value) {
  std::string text = "\"";
  for (const char c : value) {
    if (c == '"' || c == '\\') text.push_back('\\');
    text.push_back(c);
  }
  text.push_back('"');
  return text;
}

std::string auxChannelMap(unsigned first, unsigned count) {
  std::string map;
  for (unsigned i = 0; i < count; ++i) {
    if (i != 0) map += ",";
    map += "aux" + std::to_string(first + i);
  }
  return map;
}

std::string ownProperties(const std::string& role, const std::string& extra) {
  std::string properties =
      std::string(roleProperty) + "=" + role + " " + ownerProperty + "=" + std::to_string(getpid());
  if (!extra.empty()) properties += " " + extra;
  return properties;
}

bool ownerIsGone(const std::string& ownerPid) {
  char* end = nullptr;
  const long pid = std::strtol(ownerPid.c_str(), &end, 10);
  if (ownerPid.empty() || *end != '\0' || pid <= 0) return false;
  return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace vellory::pulse
