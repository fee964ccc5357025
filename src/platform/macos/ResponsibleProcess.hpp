#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vellory::macos {

// The process the system holds responsible for `pid` (itself, for most), from libSystem's
// `responsibility_get_pid_responsible_for_pid`. That function is not in the public headers: it
// is looked up at run time, and where it is missing there is no answer. Any thread.
std::optional<std::int32_t> responsiblePID(std::int32_t pid);

// The identifier of the application bundle that holds process `pid`'s executable (the innermost
// ".app" around it), read from its Info.plist; empty when there is none. Any thread.
std::string applicationBundleIDOf(std::int32_t pid);

}  // namespace vellory::macos
