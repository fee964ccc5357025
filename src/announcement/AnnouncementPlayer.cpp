#include <functional>
#include <string>
#include <vector>

#include "announcement/AnnouncementTool.hpp"
#include "shared/Clock.hpp"
#include "shared/PlatformFactory.hpp"
#include "shared/SignalWatcher.hpp"

int main(int argc, char** argv) {
  // First, before any thread exists, so that every later thread leaves the signals to it.
  vellory::SignalWatcher signals;

  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto hardware = vellory::makeAudioHardware();
  const auto output = vellory::makeAudioOutput();
  const auto files = vellory::makeAudioFileReader();
  vellory::SystemClock clock;
  vellory::FdSink out(1);
  vellory::FdSink err(2);

  const int status = vellory::announcement::runAnnouncementPlayer(
      args, {*hardware, *output, *files, clock}, {out, err},
      [&signals](std::function<void()> stop) {
        signals.install([stop = std::move(stop)](int) { stop(); });
      });
  return status;
}
