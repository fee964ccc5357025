#include "shared/SystemPaths.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace vellory {

std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "";
}

std::optional<std::string> systemCAFile() {
  // Debian's ffmpeg (GnuTLS) loads the system's bundle, /etc/ssl/certs/ca-certificates.crt,
  // by itself when asked to verify.
  return std::nullopt;
}

}  // namespace vellory
