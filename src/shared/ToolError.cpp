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

std::string statusText(const std::string& operation, OSStatus code) {
  return operation + " failed (OSStatus " + std::to_string(code) + ", fourCC " + fourCC(code) +
         ").";
}

ToolError::ToolError(std::string_view text) : description_(oneLineText(text)) {}

}  // namespace vellory
