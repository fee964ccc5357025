#include "shared/UnicodeText.hpp"

#include <algorithm>

namespace vellory {

Utf8Step decodeUtf8(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  constexpr Utf8Step illFormed{0, 1, false};
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length = 0;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
  } else {
    return illFormed;
  }
  if (length > text.size()) return illFormed;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return illFormed;
    value = (value << 6) | (next & 0x3Fu);
  }
  constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return illFormed;
  }
  return {value, length, true};
}

namespace {

// How many bytes at the start of `text` are well-formed UTF-8.
std::size_t wellFormedLength(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const Utf8Step step = decodeUtf8(text.substr(at));
    if (!step.wellFormed) break;
    at += step.length;
  }
  return at;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  return wellFormedLength(text) == text.size();
}

bool isUnicodeSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string_view trimmedUnicodeSpace(std::string_view text) {
  std::size_t begin = text.size();
  std::size_t end = 0;
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Step step = decodeUtf8(text.substr(at));
    if (!step.wellFormed || !isUnicodeSpace(step.codePoint)) {
      begin = std::min(begin, at);
      end = at + step.length;
    }
    at += step.length;
  }
  return begin < end ? text.substr(begin, end - begin) : std::string_view();
}

bool containsIgnoringCase(std::string_view text, std::string_view needle) {
  if (needle.empty()) return true;
  if (!isValidUtf8(needle)) return text.find(needle) != std::string_view::npos;
  // A well-formed needle can only lie within a well-formed stretch of the text.
  for (std::size_t at = 0; at < text.size(); ++at) {
    const std::size_t length = wellFormedLength(text.substr(at));
    if (length > 0 && platformContainsIgnoringCase(text.substr(at, length), needle)) return true;
    at += length;  // then past the byte that is not UTF-8
  }
  return false;
}

}  // namespace vellory
