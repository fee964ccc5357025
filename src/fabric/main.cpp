#include "fabric/FabricAccess.hpp"
#include "fabric/OutputFabricTool.hpp"
#include "shared/PlatformFactory.hpp"
#include "shared/SignalWatcher.hpp"

int main(int argc, char** argv) {
  vellory::SignalWatcher signals;
  auto hardware = vellory::makeAudioHardware();
  vellory::CoreAudioAccess access(*hardware, vellory::fabric::fabricAccess());
  vellory::FdSink out(1);
  vellory::FdSink err(2);
  vellory::SystemClock clock;
  const std::vector<std::string> args(argv + 1, argv + argc);
  return vellory::fabric::runOutputFabricTool(args, access, {out, err}, clock);
}
