#pragma once

#include <optional>
#include <string>

namespace vellory::player {

// The scheme of a URL text: the part before the first ":" when it has the form of a URL scheme
// (a letter, then letters, digits, "+", "-" or "."); absent otherwise, and for texts that hold
// white space or control characters.
std::optional<std::string> urlScheme(const std::string& text);

// Fails with PlayerError `usage` unless a URL source is https (in any case) and a file source is
// an absolute path.
void checkSource(const std::string& source, bool isURL);

}  // namespace vellory::player
