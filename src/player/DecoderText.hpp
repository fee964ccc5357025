#pragma once

#include <optional>
#include <string>

namespace vellory::player {

// The decoder's diagnostic bytes as text: empty unless they are valid UTF-8, trimmed of white
// space and line breaks (Unicode) at both ends.
std::string decoderText(const std::string& bytes);

// The decoder's last line when it says that reading the source failed, as the decoder says when
// a stream ended short of its announced length and could not be resumed, although it then exits
// with status 0; absent otherwise.
std::optional<std::string> readFailureLine(const std::string& bytes);

}  // namespace vellory::player
