#include "capture/CaptureRun.hpp"

#include <algorithm>

#include "capture/ProcessInventory.hpp"
#include "shared/JsonWriter.hpp"

namespace vellory {

void refreshTaps(TapRuntime& runtime, CoreAudioAccess& access, OutputSink& err) {
  std::vector<ProcessInfo> inventory;
  try {
    inventory = processes(access, err);
  } catch (const ToolError&) {
    return;
  }
  for (std::size_t i = 0; i < runtime.tapIDs.size() && i < runtime.prefixes.size(); ++i) {
    const std::vector<ProcessInfo> matches = matchingProcesses(runtime.prefixes[i], inventory);
    std::vector<AudioObjectID> ids = sortedObjectIDs(matches);
    if (i < runtime.selectedProcessIDs.size() && runtime.selectedProcessIDs[i] == ids) continue;
    const TapDescription description =
        TapRuntime::makeDescription(static_cast<std::int64_t>(i) + 1, matches);
    access.hardware().setPropertyData(runtime.tapIDs[i], PropertyAddress{selector::tapDescription},
                                      description);
    if (i < runtime.selectedProcessIDs.size()) {
      runtime.selectedProcessIDs[i] = std::move(ids);
    } else {
      runtime.selectedProcessIDs.push_back(std::move(ids));
    }
  }
}

void runCapture(const RunOptions& options, const std::vector<ProcessInfo>& inventory,
                CaptureRunContext& context) {
  // Handlers first: a stop that arrives while the taps are being built must still undo them, or
  // the tapped applications would stay silent until the next run cleans up.
  context.installSignalHandlers();
  TapRuntime runtime(context.access, context.clock, context.streams.err, options.prefixes,
                     options.liveInputName);
  runtime.interruptWith(context.stop);
  context.access.hardware().setStopCheck([&stop = context.stop] { return stop.requested(); });
  RuntimeInfo report;
  try {
    report = runtime.start(inventory);
  } catch (const ToolError&) {
    // A start cut short by a stop request is an orderly end, not a failure.
    if (context.stop.requested()) return;
    throw;
  }
  if (context.stop.requested()) return;
  writeJson(context.streams.out, encode(report));

  const auto interval = std::chrono::seconds(1);
  auto nextTick = context.clock.now() + interval;
  while (!context.stop.waitUntil(nextTick)) {
    refreshTaps(runtime, context.access, context.streams.err);
    // Ticks missed while one ran late are skipped, not made up for.
    nextTick += interval;
    if (nextTick <= context.clock.now()) nextTick = context.clock.now() + interval;
  }
  runtime.stop();
}

}  // namespace vellory
