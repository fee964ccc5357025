#include "shared/OutputSink.hpp"

#include <unistd.h>

#include <cerrno>

namespace vellory {

bool FdSink::write(std::string_view text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

bool StringSink::write(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (failWrites) return false;
  text_.append(text);
  return true;
}

std::string StringSink::text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

}  // namespace vellory
