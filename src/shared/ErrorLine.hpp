#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vellory {

// The most characters of outside text (a value from the command line or a request, a library's
// or the decoder's message) that an error line carries.
inline constexpr std::size_t outsideTextLimit = 200;

// Outside text made fit to sit inside an error line: control characters (C0, DEL, C1 and the
// Unicode line and paragraph separators) shown as spaces, bytes that are not UTF-8 shown as
// U+FFFD, and, past `limit` characters, cut to `limit` characters whose last is "…".
std::string boundedText(std::string_view text, std::size_t limit = outsideTextLimit);

// The text with every control character shown as a space, so that it stays on one line.
std::string oneLineText(std::string_view text);

// The whole error line as written, `prefix` + text + line feed, with every control character of
// the text shown as a space so that it stays one line.
std::string errorLine(std::string_view prefix, std::string_view text);

}  // namespace vellory
