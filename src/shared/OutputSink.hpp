#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace vellory {

// Where a tool writes its standard output or standard error. Each call is one write of the
// whole text. Any thread.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void write(std::string_view text) = 0;
};

// Writes straight to a file descriptor, unbuffered, retrying short writes and EINTR.
class FdSink : public OutputSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  void write(std::string_view text) override;

 private:
  int fd_;
};

// Collects everything written, for tests. Thread-safe.
class StringSink : public OutputSink {
 public:
  void write(std::string_view text) override;
  std::string text() const;

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
