#include "player/StreamPlayerTool.hpp"

#include <exception>

#include "player/DecoderCommand.hpp"
#include "player/DecoderSession.hpp"
#include "player/DecoderText.hpp"
#include "player/HttpsOnly.hpp"
#include "player/PlayerError.hpp"
#include "player/SourceCheck.hpp"
#include "player/StereoPcmQueuePlayer.hpp"
#include "player/StopControl.hpp"
#include "shared/ChildProcess.hpp"
#include "shared/ErrorLine.hpp"
#include "shared/OptionLookup.hpp"

namespace vellory::player {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds launchDelay{1100};
constexpr milliseconds startDeadline{10000};
constexpr milliseconds startPoll{50};
constexpr milliseconds playingPoll{100};
constexpr std::size_t startThresholdBytes = 19200;  // 0.1 s
constexpr std::size_t bytesPerSecond = 48000 * 4;
// The reader stops reading while this much waits, so a long file decoded faster than real
// time holds a few megabytes, not all of its audio.
constexpr std::size_t waitingLimitBytes = 30 * bytesPerSecond;

// Cuts the stop handler loose from the flow's objects when the flow ends.
class Detach {
 public:
  explicit Detach(StopControl& control, bool processOnly = false)
      : control_(control), processOnly_(processOnly) {}
  ~Detach() { processOnly_ ? control_.detachProcess() : control_.detach(); }
  Detach(const Detach&) = delete;
  Detach& operator=(const Detach&) = delete;

 private:
  StopControl& control_;
  bool processOnly_;
};

std::string failureText(const std::string& errorBytes, const std::string& fallback) {
  std::string text = decoderText(errorBytes);
  return text.empty() ? fallback : boundedText(text);
}

// The decoder's own verdict once it has ended: its status, and a read failure it reports while
// still exiting 0 (a stream that ended short).
void checkDecoderOutcome(DecoderSession& session) {
  if (session.leftHttps()) throw PlayerError::playback(notServedOverHttps);
  const int status = session.process().terminationStatus();
  if (status == 0 || status == 2 || status == 15) {
    if (const auto line = readFailureLine(session.errorBytes())) {
      throw PlayerError::playback(boundedText(*line));
    }
    return;
  }
  throw PlayerError::playback(failureText(
      session.errorBytes(), "ffmpeg exited with status " + std::to_string(status) + "."));
}

// Ends a decoder that has met a part of the stream outside https, and fails.
[[noreturn]] void abandonLeftHttps(DecoderSession& session) {
  session.process().terminate();
  session.finish(true);
  throw PlayerError::playback(notServedOverHttps);
}

}  // namespace

namespace {

// Waits until the store holds enough to start on; false when playback must not start (a stop,
// handled here), and a failure when the decoder gave nothing at all.
bool awaitStart(StereoPcmQueuePlayer& player, DecoderSession& session, StopControl& control,
                Clock& clock) {
  // The reader's end, not the decoder's, ends the wait: the pipe may still hold the last bytes
  // when the decoder has gone.
  const auto deadline = clock.now() + startDeadline;
  while (player.bufferedBytes() < startThresholdBytes && !session.outputEnded() &&
         !session.leftHttps() && !control.stopped() && clock.now() < deadline) {
    clock.waitFor(startPoll, control.stopSignal());
  }
  if (control.stopped()) {
    control.terminateAfterStop();
    session.finish(true);
    return false;
  }
  if (session.leftHttps()) abandonLeftHttps(session);
  if (player.bufferedBytes() == 0) {
    session.process().terminate();
    session.finish(true);
    // The readers are done: the error reader has looked at the decoder's last lines.
    if (session.leftHttps()) throw PlayerError::playback(notServedOverHttps);
    throw PlayerError::playback(failureText(session.errorBytes(), "Stream produced no audio."));
  }
  return true;
}

// Plays until the queue has played out the last of the input or a stop, then ends the decoder
// and judges how the stream ended. A part that left https ends playback at once: the decoder
// skips such a part and goes on with the next, which must not be heard as if nothing was missing.
void playToTheEnd(StereoPcmQueuePlayer& player, DecoderSession& session, StopControl& control,
                  Clock& clock) {
  while (player.isPlaying() && !session.leftHttps()) {
    clock.waitFor(playingPoll, control.stopSignal());
  }
  player.stop();
  if (control.stopped()) {
    control.terminateAfterStop();
    session.finish(true);
    if (control.decoderEndedByStop()) return;
  } else if (session.leftHttps()) {
    abandonLeftHttps(session);
  } else if (!session.outputEnded()) {
    // The output queue stopped running by itself (the sound server went away): the decoder's
    // status says nothing about this.
    session.process().terminate();
    session.finish(true);
    throw PlayerError::playback("Audio output stopped before the stream ended.");
  } else {
    session.finish(false);
  }
  checkDecoderOutcome(session);
}

}  // namespace

void playFFmpegSource(const std::string& source, bool isURL, const StreamPlayerPlatform& platform,
                      ToolStreams streams) {
  checkSource(source, isURL);
  const std::optional<std::string> program = platform.findDecoder(platform.homeDirectory());
  if (!program) throw PlayerError::playback("ffmpeg not found for player decode.");
  const std::vector<std::string> arguments =
      decoderArguments(source, isURL, trustedCAFile(platform.systemCAFile));

  Clock& clock = platform.clock;
  StereoPcmQueuePlayer player(platform.output, 48000.0);
  auto control = std::make_shared<StopControl>(player);
  Detach detach(*control);
  platform.installStopHandler([control] { control->stop(); });

  // A stop before playback starts starts nothing and ends quietly.
  const auto launchAt = clock.now() + launchDelay;
  while (!control->stopped() && clock.now() < launchAt) {
    clock.waitUntil(launchAt, control->stopSignal());
  }
  if (control->stopped()) return;

  DecoderSession session(platform.launchDecoder(*program, arguments), player, waitingLimitBytes,
                         isURL);
  control->attach(session.process());
  Detach detachProcess(*control, true);
  if (!awaitStart(player, session, *control, clock)) return;

  player.play();
  if (!control->stopped()) {
    streams.err.write(std::string("[vellory-player] progressive ") + (isURL ? "url" : "file") +
                      " → stereo AudioQueue @ 48000 Hz\n");
  }
  playToTheEnd(player, session, *control, clock);
}

int runStreamPlayer(const std::vector<std::string>& args, const StreamPlayerPlatform& platform,
                    ToolStreams streams) {
  try {
    if (const auto url = argument("--url", args)) {
      playFFmpegSource(*url, true, platform, streams);
    } else if (const auto file = argument("--file", args)) {
      playFFmpegSource(*file, false, platform, streams);
    } else {
      throw PlayerError::usage(usageLine);
    }
    return 0;
  } catch (const PlayerError& error) {
    streams.err.write(errorLine("[vellory-player] ", error.description()));
  } catch (const LaunchError& error) {
    // Its outside part, the path, is bounded already.
    streams.err.write(errorLine("[vellory-player] ", error.what()));
  } catch (const std::exception& error) {
    // A library's own text.
    streams.err.write(errorLine("[vellory-player] ", boundedText(error.what())));
  }
  return 1;
}

}  // namespace vellory::player
