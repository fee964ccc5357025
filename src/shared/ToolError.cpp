#include "shared/ToolError.hpp"

#include <cstdint>

#include "shared/ErrorLine.hpp"

namespace vellory {

std::string fourCC(OSStatus status) {
  const auto bits = static_cast<std::uint32_t>(status);
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto byte = static_cast<unsigned char>((bits >> shift) & 0xFF);
    if (byte < 0x20 || byte > 0x7E) return "----";
    text.push_back(static_cast<char>(byte));
  }
  return text;
}

ToolError::ToolError(Kind kind, std::string text, OSStatus code)
    : kind_(kind), text_(std::move(text)), code_(code) {
  description_ =
      oneLineText(kind_ == Kind::status ? text_ + " failed (OSStatus " + std::to_string(code_) +
                                              ", fourCC " + fourCC(code_) + ")."
                                        : text_);
}

ToolError ToolError::status(std::string operation, OSStatus code) {
  return ToolError(Kind::status, std::move(operation), code);
}

ToolError ToolError::usage(std::string text) {
  return ToolError(Kind::usage, std::move(text), 0);
}

ToolError ToolError::message(std::string text) {
  return ToolError(Kind::message, std::move(text), 0);
}

std::string ToolError::description() const {
  return description_;
}

}  // namespace vellory
