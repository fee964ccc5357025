#pragma once

#include <string>

namespace vellory::player {

// The decoder's diagnostic bytes as text: empty unless they are valid UTF-8, trimmed of white
// space and line ends at both ends.
std::string decoderText(const std::string& bytes);

}  // namespace vellory::player
