#include "capture/CaptureAccess.hpp"
#include "capture/CaptureRun.hpp"
#include "capture/ProcessTapTool.hpp"
#include "shared/PlatformFactory.hpp"
#include "shared/SignalWatcher.hpp"

int main(int argc, char** argv) {
  // Outlives the signal watcher, whose handler raises it.
  vellory::StopSignal stop;
  // Before any other thread exists, so that no thread receives SIGINT or SIGTERM itself.
  vellory::SignalWatcher signals;
  auto hardware = vellory::makeAudioHardware();
  vellory::CoreAudioAccess access(*hardware, vellory::capture::captureAccess());
  vellory::FdSink out(1);
  vellory::FdSink err(2);
  vellory::SystemClock clock;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto run = [&](const vellory::capture::RunOptions& options,
                       const std::vector<vellory::capture::ProcessInfo>& inventory) {
    vellory::capture::CaptureRunContext context{
        access, {out, err}, clock, stop, [&] { signals.install([&](int) { stop.request(); }); }};
    vellory::capture::runCapture(options, inventory, context);
  };
  return vellory::capture::runProcessTapTool(args, access, {out, err}, run);
}
