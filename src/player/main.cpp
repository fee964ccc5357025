#include "player/DecoderCommand.hpp"
#include "player/StreamPlayerTool.hpp"
#include "shared/Clock.hpp"
#include "shared/PlatformFactory.hpp"
#include "shared/SignalWatcher.hpp"
#include "shared/SystemPaths.hpp"

int main(int argc, char** argv) {
  vellory::SignalWatcher signals;
  auto output = vellory::makeAudioOutput();
  vellory::SystemClock clock;
  vellory::FdSink out(1);
  vellory::FdSink err(2);
  const vellory::player::StreamPlayerPlatform platform{
      *output,
      clock,
      [&signals](std::function<void()> onStop) {
        signals.install([onStop = std::move(onStop)](int) { onStop(); });
      },
      vellory::player::findFFmpeg,
      vellory::ChildProcess::launch,
      vellory::homeDirectory,
      vellory::systemCAFile(),
  };
  const std::vector<std::string> args(argv + 1, argv + argc);
  return vellory::player::runStreamPlayer(args, platform, {out, err});
}
