#include "capture/CaptureRun.hpp"

#include <algorithm>

#include "capture/PermissionWatch.hpp"
#include "capture/ProcessInventory.hpp"
#include "shared/JsonWriter.hpp"

namespace vellory::capture {

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
    runtime.repointSlot(i, matches);
    if (i < runtime.selectedProcessIDs.size()) {
      runtime.selectedProcessIDs[i] = std::move(ids);
    } else {
      runtime.selectedProcessIDs.push_back(std::move(ids));
    }
  }
}

namespace {

bool sameLayout(const RuntimeInfo& a, const RuntimeInfo& b) {
  return a.channels == b.channels && a.applicationChannels == b.applicationChannels &&
         a.liveInputChannels == b.liveInputChannels &&
         a.announcementChannels == b.announcementChannels && a.slots.size() == b.slots.size();
}

// Builds the capture again after the platform lost it, with the layout the report announced
// (the host reads the device by that layout). False, with nothing left behind, when that cannot
// be done yet.
bool rebuildCapture(TapRuntime& runtime, const RuntimeInfo& announced, CaptureRunContext& context) {
  runtime.forget();
  try {
    const std::vector<ProcessInfo> inventory = processes(context.access, context.streams.err);
    if (sameLayout(runtime.start(inventory), announced)) return true;
  } catch (const ToolError&) {
    // Tried again at the next interval.
  }
  runtime.stop();
  return false;
}

// One refresh tick: the taps re-pointed, or, when the platform lost the capture, one line
// saying so and an attempt to rebuild it once the platform answers again, and one line when it
// is back. Gives whether the capture is lost now.
bool tick(TapRuntime& runtime, const RuntimeInfo& announced, CaptureRunContext& context,
          PermissionWatch& watch, bool lost) {
  using Continuity = AudioHardware::Continuity;
  OutputSink& err = context.streams.err;
  const Continuity continuity = context.access.hardware().continuity();
  if (continuity != Continuity::intact && !lost) {
    watch.end();
    err.write(
        "[process-tap] Lost the sound server; the capture device is gone until it "
        "answers again.\n");
    lost = true;
  }
  if (!lost) {
    refreshTaps(runtime, context.access, err);
  } else if (continuity != Continuity::lost && rebuildCapture(runtime, announced, context)) {
    err.write("[process-tap] The sound server answers again; the capture device is back.\n");
    lost = false;
  }
  return lost;
}

// The next time of something due every `interval` at `due`; times missed while one ran late are
// skipped, not made up for.
std::chrono::steady_clock::time_point following(std::chrono::steady_clock::time_point due,
                                                std::chrono::milliseconds interval,
                                                std::chrono::steady_clock::time_point now) {
  due += interval;
  return due <= now ? now + interval : due;
}

// Keeps the capture alive until a stop request: a refresh tick once a second (every half second
// while the capture is lost), and, where taps can be refused silently, a look of the permission
// watch between them. The watch's reading ends before the capture is torn down.
void keepCapture(TapRuntime& runtime, const RuntimeInfo& announced, CaptureRunContext& context) {
  PermissionWatch watch(runtime, context.access, announced, context.streams.err);
  bool lost = false;
  auto nextTick = context.clock.now() + std::chrono::seconds(1);
  auto nextLook = context.clock.now() + PermissionWatch::interval;
  for (;;) {
    const bool watching = watch.active() && !lost;
    const auto deadline = watching ? std::min(nextTick, nextLook) : nextTick;
    if (context.clock.waitUntil(deadline, context.stop)) break;
    const auto now = context.clock.now();
    if (now >= nextTick) {
      lost = tick(runtime, announced, context, watch, lost);
      const auto interval = lost ? std::chrono::milliseconds(500) : std::chrono::milliseconds(1000);
      nextTick = following(nextTick, interval, context.clock.now());
    }
    if (watching && !lost && now >= nextLook) {
      watch.check(context.clock.now());
      nextLook = following(nextLook, PermissionWatch::interval, context.clock.now());
    }
  }
  watch.end();
}

}  // namespace

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
  keepCapture(runtime, report, context);
  runtime.stop();
}

}  // namespace vellory::capture
