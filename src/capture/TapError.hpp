#pragma once

#include <string>

#include "shared/ToolError.hpp"

namespace vellory::capture {

// The capture tool's error: a failed platform operation (`status`) or a complaint about the
// command line (`usage`), shown as it is.
class TapError : public ToolError {
 public:
  static TapError status(const std::string& operation, OSStatus code) {
    return TapError(statusText(operation, code));
  }
  static TapError usage(const std::string& text) { return TapError(text); }

 private:
  using ToolError::ToolError;
};

}  // namespace vellory::capture
