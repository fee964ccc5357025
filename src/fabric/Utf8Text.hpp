#pragma once

#include <string>
#include <string_view>

namespace vellory::fabric {

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool isValidUtf8(std::string_view text);

// Whether `text` contains `needle` when both are compared case-insensitively, letter by letter
// over Unicode code points. Bytes that are not valid UTF-8 only match themselves.
bool containsIgnoringCase(std::string_view text, std::string_view needle);

}  // namespace vellory::fabric
