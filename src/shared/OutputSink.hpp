#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace vellory {

// Where a tool writes its standard output or standard error. Each call is one write of the
// whole text; false when not all of it could be written (a reader that went away). Any thread.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual bool write(std::string_view text) = 0;
};

// Writes straight to a file descriptor, unbuffered, retrying short writes and EINTR.
class FdSink : public OutputSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  bool write(std::string_view text) override;

 private:
  int fd_;
};

// Collects everything written, for tests; with `failWrites` set it takes nothing, like a pipe
// whose reader has gone. Thread-safe.
class StringSink : public OutputSink {
 public:
  bool write(std::string_view text) override;
  std::string text() const;
  bool failWrites = false;

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// The two output channels of a tool.
struct ToolStreams {
  OutputSink& out;
  OutputSink& err;
};

}  // namespace vellory
