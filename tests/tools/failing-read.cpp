// Loaded with LD_PRELOAD: reads of one named file deliver its first bytes and then fail with EIO,
// as a failing disk would. Every other file reads as usual.
//
//   VELLORY_FAIL_READ_PATH   the file (any path to it)
//   VELLORY_FAIL_READ_AFTER  how many of its bytes read before the reads fail

// This file defines read itself: the libc's inline guard around it must stay out.
#undef _FORTIFY_SOURCE

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

using ReadFunction = ssize_t (*)(int, void*, size_t);
using PreadFunction = ssize_t (*)(int, void*, size_t, off_t);

struct Target {
  char path[PATH_MAX] = {};
  long long allowed = -1;  // below 0: no file is named
};

Target named;

// Read once while the program is still single-threaded, before any reader can ask.
__attribute__((constructor)) void readTarget() {
  const char* path = getenv("VELLORY_FAIL_READ_PATH");
  const char* after = getenv("VELLORY_FAIL_READ_AFTER");
  if (path != nullptr && after != nullptr && realpath(path, named.path) != nullptr) {
    named.allowed = atoll(after);
  }
}

const Target& target() {
  return named;
}

std::atomic<long long> delivered{0};

bool isTarget(int fd) {
  if (target().allowed < 0) return false;
  char link[64];
  char path[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, path, sizeof path - 1);
  if (length <= 0) return false;
  path[length] = '\0';
  return strcmp(path, target().path) == 0;
}

// How many of `count` bytes the named file may still deliver; -1 (errno EIO) when none.
ssize_t allowance(size_t count) {
  const long long left = target().allowed - delivered.load();
  if (left <= 0) {
    errno = EIO;
    return -1;
  }
  return static_cast<ssize_t>(static_cast<unsigned long long>(left) < count ? left : count);
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t read(int fd, void* buffer, size_t count) {
  static const auto real = next<ReadFunction>("read");
  if (!isTarget(fd)) return real(fd, buffer, count);
  const ssize_t allowed = allowance(count);
  if (allowed < 0) return -1;
  const ssize_t got = real(fd, buffer, static_cast<size_t>(allowed));
  if (got > 0) delivered += got;
  return got;
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
  static const auto real = next<PreadFunction>("pread");
  if (!isTarget(fd)) return real(fd, buffer, count, offset);
  const ssize_t allowed = allowance(count);
  if (allowed < 0) return -1;
  const ssize_t got = real(fd, buffer, static_cast<size_t>(allowed), offset);
  if (got > 0) delivered += got;
  return got;
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset) {
  return pread(fd, buffer, count, offset);
}

ssize_t __read_chk(int fd, void* buffer, size_t count, size_t) {
  return read(fd, buffer, count);
}

}  // extern "C"
