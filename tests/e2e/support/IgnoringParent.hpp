#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vellory::e2e {

// The command run through a shell that ignores SIGINT and SIGTERM before it execs the program, as
// a non-interactive shell does for a background job: the program starts with both ignored.
std::vector<std::string> underIgnoringParent(const std::vector<std::string>& argv);

// Whether the process ignores SIGINT or SIGTERM now (from /proc/PID/status).
bool ignoresStopSignals(pid_t pid);

}  // namespace vellory::e2e
