#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "shared/AudioTypes.hpp"

namespace vellory {

// Four characters of a status, most significant byte first, or "----" when any byte is not
// printable ASCII.
std::string fourCC(OSStatus status);

// "<operation> failed (OSStatus <code>, fourCC <four>)."
std::string statusText(const std::string& operation, OSStatus code);

// What every tool's error is: one line of text describing the failure, any control character in
// it shown as a space. Each program derives its own error from it, with the cases it needs.
class ToolError : public std::exception {
 public:
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 protected:
  explicit ToolError(std::string_view text);

 private:
  std::string description_;
};

}  // namespace vellory
