#include "capture/ProcessTapTool.hpp"
#include "shared/PlatformFactory.hpp"
#include "shared/SignalWatcher.hpp"

int main(int argc, char** argv) {
  vellory::SignalWatcher signals;
  auto hardware = vellory::makeAudioHardware();
  vellory::CoreAudioAccess access(*hardware, vellory::captureIdentity());
  vellory::FdSink out(1);
  vellory::FdSink err(2);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto run = [](const vellory::RunOptions&, const std::vector<vellory::ProcessInfo>&) {
    throw vellory::TapError::usage("Capture run is not available in this build.");
  };
  return vellory::runProcessTapTool(args, access, {out, err}, run);
}
