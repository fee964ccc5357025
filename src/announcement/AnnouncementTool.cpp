#include "announcement/AnnouncementTool.hpp"

#include <algorithm>
#include <memory>

#include "announcement/MainLoop.hpp"
#include "announcement/PlayerError.hpp"
#include "announcement/Seconds.hpp"
#include "shared/ErrorLine.hpp"
#include "shared/OptionLookup.hpp"

namespace vellory::announcement {

namespace {

constexpr std::chrono::microseconds primedWait{1'100'000};
constexpr std::chrono::microseconds pollInterval{50'000};

}  // namespace

int runAnnouncementPlayer(const std::vector<std::string>& args, PlayerPlatform platform,
                          ToolStreams streams, const StopHandlerInstaller& installStopHandler,
                          const std::string& logPath) {
  try {
    const auto path = argument("--file", args);
    if (!path || path->empty() || path->front() != '/') throw PlayerError::usage(usageLine);

    const auto player = std::make_shared<StereoFilePlayer>(*path, platform, streams.err, logPath);
    const double fadeInSeconds = static_cast<double>(milliseconds("--fade-in-ms", args)) / 1000.0;
    const double fadeOutSeconds = static_cast<double>(milliseconds("--fade-out-ms", args)) / 1000.0;

    MainLoop loop(platform.clock);
    loop.runFor(primedWait);
    // The handler may run after this function has returned: it holds the player weakly.
    installStopHandler([weak = std::weak_ptr<StereoFilePlayer>(player)] {
      if (const auto held = weak.lock()) held->stop();
    });

    player->play(fadeInSeconds);
    if (fadeOutSeconds > 0) {
      loop.scheduleOnce(microsecondsOf(std::max(0.0, player->duration() - fadeOutSeconds)),
                        [&player, fadeOutSeconds] { player->fadeOut(fadeOutSeconds); });
    }
    while (player->isPlaying()) loop.runFor(pollInterval);
    player->stop();
    if (const std::string failure = player->failure(); !failure.empty()) {
      throw PlayerError::playback(failure);
    }
    return 0;
  } catch (const PlayerError& error) {
    streams.err.write(errorLine(messagePrefix, error.description()));
    return 1;
  } catch (const std::exception& error) {
    streams.err.write(errorLine(messagePrefix, boundedText(error.what())));
    return 1;
  }
}

}  // namespace vellory::announcement
