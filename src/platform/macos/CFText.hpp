#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <string>

#include "platform/macos/CFRef.hpp"

namespace vellory::macos {

// The UTF-8 text of a string; characters UTF-8 cannot carry (lone surrogates) become '?'.
std::string textOf(CFStringRef string);

// A new string holding UTF-8 text; null when the bytes are not valid UTF-8.
CFRef<CFStringRef> makeString(const std::string& text);

}  // namespace vellory::macos
