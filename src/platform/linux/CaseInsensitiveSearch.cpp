#include <utf8proc.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "shared/UnicodeText.hpp"

namespace vellory {

namespace {

// The text in composed form with its case folded (full Unicode case folding), so that two texts
// that differ only in letter case, or in how an accented letter is encoded, become equal.
std::optional<std::string> foldedCase(std::string_view text) {
  utf8proc_uint8_t* folded = nullptr;
  const utf8proc_ssize_t length = utf8proc_map(
      reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
      static_cast<utf8proc_ssize_t>(text.size()), &folded,
      static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD));
  const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(folded, &std::free);
  if (length < 0) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(folded), static_cast<std::size_t>(length));
}

}  // namespace

bool platformContainsIgnoringCase(std::string_view text, std::string_view needle) {
  const std::optional<std::string> haystack = foldedCase(text);
  const std::optional<std::string> pattern = foldedCase(needle);
  // Both are UTF-8, so a byte match starts and ends on character boundaries.
  return haystack && pattern && haystack->find(*pattern) != std::string::npos;
}

}  // namespace vellory
