#include "announcement/FloatText.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace vellory::announcement {

namespace {

// The fewest digits after the point, in printf's fixed or exponent style, that read back as
// `magnitude`; among as many digits, the nearest. Formatting through printf keeps this within
// what the oldest supported macOS offers (its std::to_chars has no float form).
std::string shortest(float magnitude, bool exponent) {
  const char* style = exponent ? "%.*e" : "%.*f";
  // A power of two reads back from a wider interval above it than below it, so the nearest
  // decimal of a length may miss while the next one up still hits; a point a quarter of the
  // step above the value rounds to that one.
  const float up = std::nextafter(magnitude, std::numeric_limits<float>::infinity());
  const double above = static_cast<double>(magnitude) + (static_cast<double>(up) - magnitude) / 4.0;
  char text[64] = "";
  // Nine significant digits always read back; fixed style may need the leading zeros as well.
  for (int digits = 0; digits < 40; ++digits) {
    for (const double candidate : {static_cast<double>(magnitude), above}) {
      std::snprintf(text, sizeof text, style, digits, candidate);
      if (std::strtof(text, nullptr) == magnitude) return text;
    }
  }
  return text;
}

}  // namespace

std::string floatText(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const float magnitude = std::fabs(value);
  const bool exponent = magnitude != 0.0f && (magnitude < 1e-4f || magnitude >= 16777216.0f);
  std::string out = shortest(magnitude, exponent);
  if (!exponent && out.find('.') == std::string::npos) out += ".0";
  return std::signbit(value) ? "-" + out : out;
}

}  // namespace vellory::announcement
