#include "announcement/FloatText.hpp"

#include <charconv>
#include <cmath>

namespace vellory::announcement {

std::string floatText(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char text[64];
  const float magnitude = std::fabs(value);
  const bool exponent = magnitude != 0.0f && (magnitude < 1e-4f || magnitude >= 16777216.0f);
  const auto result =
      std::to_chars(text, text + sizeof text, value,
                    exponent ? std::chars_format::scientific : std::chars_format::fixed);
  std::string out(text, result.ptr);
  if (!exponent && out.find('.') == std::string::npos) out += ".0";
  return out;
}

}  // namespace vellory::announcement
