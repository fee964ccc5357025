#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vellory {

// The word right after the first word equal to `name`, whatever it looks like; absent when the
// name is missing or is the last word.
std::optional<std::string> argument(const std::string& name, const std::vector<std::string>& args);

// A non-negative count of milliseconds from `name`'s value: a base-10 integer with an optional
// sign, within 64 bits; anything else, or no value, gives 0, and so does a negative number.
std::int64_t milliseconds(const std::string& name, const std::vector<std::string>& args);

}  // namespace vellory
