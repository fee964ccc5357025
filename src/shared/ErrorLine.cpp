#include "shared/ErrorLine.hpp"

#include <cstdint>
#include <optional>

namespace vellory {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view ellipsis = "\xE2\x80\xA6";     // U+2026

struct CodePoint {
  std::uint32_t value;
  std::size_t length;
};

// The well-formed UTF-8 sequence at the start of `text`, if there is one.
std::optional<CodePoint> decodeAt(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return CodePoint{lead, 1};
  std::size_t length = 0;
  std::uint32_t value = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07u;
  } else {
    return std::nullopt;
  }
  if (length > text.size()) return std::nullopt;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[k]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (next & 0x3Fu);
  }
  constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return std::nullopt;
  }
  return CodePoint{value, length};
}

bool breaksLine(std::uint32_t value) {
  return value < 0x20 || value == 0x7F || (value >= 0x80 && value <= 0x9F) || value == 0x2028 ||
         value == 0x2029;
}

// Each character of `text` as it is shown in an error line, in order, until `take` says stop.
template <typename Take>
void forEachShown(std::string_view text, Take take) {
  std::size_t at = 0;
  while (at < text.size()) {
    const auto point = decodeAt(text.substr(at));
    std::string_view shown = replacement;
    std::size_t length = 1;
    if (point) {
      length = point->length;
      shown = breaksLine(point->value) ? std::string_view(" ") : text.substr(at, length);
    }
    if (!take(shown)) return;
    at += length;
  }
}

}  // namespace

std::string boundedText(std::string_view text, std::size_t limit) {
  if (limit == 0) return "";
  std::size_t total = 0;
  forEachShown(text, [&total, limit](std::string_view) { return ++total <= limit; });
  const std::size_t kept = total > limit ? limit - 1 : total;
  std::string result;
  std::size_t count = 0;
  forEachShown(text, [&](std::string_view shown) {
    if (count == kept) return false;
    result += shown;
    ++count;
    return true;
  });
  if (total > limit) result += ellipsis;
  return result;
}

std::string oneLineText(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  forEachShown(text, [&line](std::string_view shown) {
    line += shown;
    return true;
  });
  return line;
}

std::string errorLine(std::string_view prefix, std::string_view text) {
  return std::string(prefix) + oneLineText(text) + "\n";
}

}  // namespace vellory
