#pragma once

#include <exception>
#include <string>

#include "shared/AudioTypes.hpp"

namespace vellory {

// Four characters of a status, most significant byte first, or "----" when any byte is not
// printable ASCII.
std::string fourCC(OSStatus status);

// The error enumeration of the capture and fabric tools. `status` names a failed platform
// operation and its code; `usage` and `message` carry a text shown as it is.
class ToolError : public std::exception {
 public:
  enum class Kind { status, usage, message };

  static ToolError status(std::string operation, OSStatus code);
  static ToolError usage(std::string text);
  static ToolError message(std::string text);

  Kind kind() const { return kind_; }
  const std::string& text() const { return text_; }
  OSStatus code() const { return code_; }

  // One line: "<operation> failed (OSStatus <code>, fourCC <four>)." or the text itself, any
  // control character in it shown as a space.
  std::string description() const;
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  ToolError(Kind kind, std::string text, OSStatus code);

  Kind kind_;
  std::string text_;
  OSStatus code_;
  std::string description_;
};

// The capture tool uses the `status` and `usage` cases, the fabric tool all three.
using TapError = ToolError;
using FabricError = ToolError;

}  // namespace vellory
