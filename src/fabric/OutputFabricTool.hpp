#pragma once

#include <string>
#include <vector>

#include "shared/Clock.hpp"
#include "shared/CoreAudioAccess.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::fabric {

inline constexpr const char* fabricUsage =
    "Usage: vellory-output-fabric list | ensure JSON | remove";

// The whole `vellory-output-fabric` program after the program name: dispatches `list` (also with
// no arguments), `ensure JSON` or `remove`, writes a failure as one tagged line on `err`, and
// returns the exit status. Calling thread only; never throws.
int runOutputFabricTool(const std::vector<std::string>& args, CoreAudioAccess& access,
                        ToolStreams streams, Clock& clock);

}  // namespace vellory::fabric
