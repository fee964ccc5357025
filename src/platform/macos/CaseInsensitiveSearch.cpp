#include <string>

#include "platform/macos/CFText.hpp"
#include "shared/UnicodeText.hpp"

namespace vellory {

bool platformContainsIgnoringCase(std::string_view text, std::string_view needle) {
  const macos::CFRef<CFStringRef> haystack = macos::makeString(std::string(text));
  const macos::CFRef<CFStringRef> pattern = macos::makeString(std::string(needle));
  if (!haystack || !pattern) return false;
  // Non-literal: an accented letter matches however it is composed, as the user's locale reads it.
  const macos::CFRef<CFLocaleRef> locale(CFLocaleCopyCurrent());
  return CFStringFindWithOptionsAndLocale(
             haystack.get(), pattern.get(), CFRangeMake(0, CFStringGetLength(haystack.get())),
             kCFCompareCaseInsensitive | kCFCompareNonliteral, locale.get(), nullptr) != 0;
}

}  // namespace vellory
