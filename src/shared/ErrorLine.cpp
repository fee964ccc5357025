#include "shared/ErrorLine.hpp"

#include "shared/UnicodeText.hpp"

namespace vellory {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view ellipsis = "\xE2\x80\xA6";     // U+2026

bool breaksLine(char32_t value) {
  return value < 0x20 || value == 0x7F || (value >= 0x80 && value <= 0x9F) || value == 0x2028 ||
         value == 0x2029;
}

// Each character of `text` as it is shown in an error line, in order, until `take` says stop.
template <typename Take>
void forEachShown(std::string_view text, Take take) {
  std::size_t at = 0;
  while (at < text.size()) {
    const Utf8Step step = decodeUtf8(text.substr(at));
    std::string_view shown = replacement;
    if (step.wellFormed) {
      shown = breaksLine(step.codePoint) ? std::string_view(" ") : text.substr(at, step.length);
    }
    if (!take(shown)) return;
    at += step.length;
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
