#include "announcement/AtomicFile.hpp"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace vellory::announcement {

bool writeFileAtomically(const std::string& path, std::string_view text) {
  std::vector<char> temporary(path.begin(), path.end());
  const std::string suffix = ".XXXXXX";
  temporary.insert(temporary.end(), suffix.begin(), suffix.end());
  temporary.push_back('\0');
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool written = fchmod(fd, 0644) == 0;
  std::size_t done = 0;
  while (written && done < text.size()) {
    const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      written = false;
      break;
    }
    done += static_cast<std::size_t>(count);
  }
  if (::close(fd) != 0) written = false;
  if (!written || std::rename(temporary.data(), path.c_str()) != 0) {
    ::unlink(temporary.data());
    return false;
  }
  return true;
}

}  // namespace vellory::announcement
