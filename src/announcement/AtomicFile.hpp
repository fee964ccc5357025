#pragma once

#include <string>
#include <string_view>

namespace vellory::announcement {

// Replaces the file's content with `text` in one step: readers see the old content or the new,
// never a part. Writes a temporary file beside it and renames it over. False on any failure,
// which leaves no temporary file behind.
bool writeFileAtomically(const std::string& path, std::string_view text);

}  // namespace vellory::announcement
