#pragma once

#include <functional>
#include <string>
#include <vector>

#include "capture/CaptureCommandLine.hpp"
#include "capture/ProcessInfo.hpp"
#include "shared/CoreAudioAccess.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::capture {

// The `run` command: builds the capture from the start-up inventory and keeps it until an
// orderly stop, then returns. A failure is thrown as a ToolError after its own clean-up.
using CaptureRunCommand =
    std::function<void(const RunOptions& options, const std::vector<ProcessInfo>& inventory)>;

// The whole `vellory-process-tap` program after the program name: returns the exit status.
int runProcessTapTool(const std::vector<std::string>& args, CoreAudioAccess& access,
                      ToolStreams streams, const CaptureRunCommand& run);

}  // namespace vellory::capture
