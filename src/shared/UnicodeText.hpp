#pragma once

#include <cstddef>
#include <string_view>

namespace vellory {

// One step through UTF-8 bytes: a well-formed sequence gives its code point and length; anything
// else (a stray or missing continuation byte, an overlong form, a surrogate, a value past
// U+10FFFF) gives `wellFormed` false and a length of 1, so that the next step starts at the
// following byte.
struct Utf8Step {
  char32_t codePoint;
  std::size_t length;
  bool wellFormed;
};

// The step at the start of `text`, which must not be empty.
Utf8Step decodeUtf8(std::string_view text);

// Whether all of `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

// Unicode white space and line breaks: the space separators, the line and paragraph separators,
// the C0 controls U+0009 to U+000D and U+0085.
bool isUnicodeSpace(char32_t codePoint);

// `text` without the white space and line breaks at either end. Only well-formed sequences are
// white space: bytes that are not UTF-8 stay, and so does everything between them.
std::string_view trimmedUnicodeSpace(std::string_view text);

// Whether `text` contains `needle` with letter case ignored, as the platform's Unicode text
// library compares (locale-aware where the platform has locales). A needle that is not UTF-8
// matches its own bytes only; the bytes of `text` that are not UTF-8 match nothing but such a
// needle. An empty needle is always contained.
bool containsIgnoringCase(std::string_view text, std::string_view needle);

// The platform's part of `containsIgnoringCase`, for two texts that are both well-formed UTF-8
// and not empty. Each platform backend defines it over its own text library.
bool platformContainsIgnoringCase(std::string_view text, std::string_view needle);

}  // namespace vellory
