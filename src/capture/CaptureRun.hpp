#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/CaptureCommandLine.hpp"
#include "capture/ProcessInfo.hpp"
#include "capture/TapRuntime.hpp"
#include "shared/Clock.hpp"
#include "shared/CoreAudioAccess.hpp"
#include "shared/OutputSink.hpp"
#include "shared/StopSignal.hpp"

namespace vellory::capture {

// What the run command needs besides its options: the platform, the output channels, time, the
// stop request and the step that routes SIGINT and SIGTERM to that request.
struct CaptureRunContext {
  CoreAudioAccess& access;
  ToolStreams streams;
  Clock& clock;
  StopSignal& stop;
  std::function<void()> installSignalHandlers;
};

// Routes SIGINT and SIGTERM to the stop request, builds the capture, prints the run report, then
// re-points the slot taps once a second until a stop is requested, and tears everything down on
// the calling thread (so a tick and the teardown never overlap and the teardown runs once). A
// stop during the build tears down without a report. Throws a ToolError after undoing a failed
// start.
void runCapture(const RunOptions& options, const std::vector<ProcessInfo>& inventory,
                CaptureRunContext& context);

// One refresh tick: points every slot tap whose set of matching processes changed at the new
// set. Silent; an unreadable inventory changes nothing.
void refreshTaps(TapRuntime& runtime, CoreAudioAccess& access, OutputSink& err);

}  // namespace vellory::capture
