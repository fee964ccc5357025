#include "shared/OutputSink.hpp"

#include <unistd.h>

#include <cerrno>

namespace vellory {

void FdSink::write(std::string_view text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

void StringSink::write(std::string_view text) {
  std::lock_guard lock(mutex_);
  text_.append(text);
}

std::string StringSink::text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

}  // namespace vellory
