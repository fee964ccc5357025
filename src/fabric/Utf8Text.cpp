#include "fabric/Utf8Text.hpp"

#include <locale.h>
#include <wctype.h>
#if defined(__APPLE__)
#include <xlocale.h>
#endif

#include <cstdint>
#include <vector>

namespace vellory::fabric {

namespace {

constexpr char32_t invalid = 0xFFFFFFFF;

// Decodes one code point at `pos` and advances past it; an ill-formed byte gives `invalid` and
// advances by one.
char32_t decodeAt(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    minimum = 0x10000;
  } else {
    ++pos;
    return invalid;
  }
  if (pos + length > text.size()) {
    ++pos;
    return invalid;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return invalid;
    }
    value = (value << 6) | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++pos;
    return invalid;
  }
  pos += length;
  return value;
}

// Lower-cases with the full Unicode tables of the C.UTF-8 locale when the system has it,
// else ASCII only.
class LowerCase {
 public:
  LowerCase() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))) {}
  ~LowerCase() {
    if (locale_ != static_cast<locale_t>(nullptr)) freelocale(locale_);
  }
  LowerCase(const LowerCase&) = delete;
  LowerCase& operator=(const LowerCase&) = delete;

  char32_t operator()(char32_t c) const {
    if (c == invalid) return c;
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    if (locale_ == static_cast<locale_t>(nullptr)) return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale_));
  }

 private:
  locale_t locale_;
};

// Code points lower-cased; an ill-formed byte becomes a value no code point can equal.
std::vector<char32_t> folded(std::string_view text, const LowerCase& lower) {
  std::vector<char32_t> result;
  result.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const char32_t c = decodeAt(text, pos);
    result.push_back(c == invalid ? 0x80000000u | static_cast<unsigned char>(text[start])
                                  : lower(c));
  }
  return result;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (decodeAt(text, pos) == invalid) return false;
  }
  return true;
}

bool containsIgnoringCase(std::string_view text, std::string_view needle) {
  static const LowerCase lower;
  const auto haystack = folded(text, lower);
  const auto pattern = folded(needle, lower);
  if (pattern.empty()) return true;
  if (pattern.size() > haystack.size()) return false;
  for (std::size_t start = 0; start + pattern.size() <= haystack.size(); ++start) {
    bool match = true;
    for (std::size_t i = 0; i < pattern.size() && match; ++i) {
      match = haystack[start + i] == pattern[i];
    }
    if (match) return true;
  }
  return false;
}

}  // namespace vellory::fabric
