#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "e2e/player/PlayerE2ESupport.hpp"
#include "e2e/support/IgnoringParent.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;

const std::string fileLine = "[vellory-player] progressive file → stereo AudioQueue @ 48000 Hz\n";
const std::string urlLine = "[vellory-player] progressive url → stereo AudioQueue @ 48000 Hz\n";

class StreamPlayerE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveSoundServer()) GTEST_SKIP() << "no sound server (PULSE_SERVER)";
  }

  // What the decoder itself makes of `source`.
  std::vector<std::uint8_t> decodedByFFmpeg(const std::string& source) {
    const std::vector<std::string> words = {
        "ffmpeg",  "-hide_banner", "-loglevel", "error", "-i",  source,  "-f", "s16le",
        "-acodec", "pcm_s16le",    "-ac",       "2",     "-ar", "48000", "-"};
    const auto result = runCommand(words, 20s);
    EXPECT_EQ(result.status, 0) << result.err;
    return {result.out.begin(), result.out.end()};
  }

  // The recording must hold the decoder's output exactly once, in order and whole, between
  // silence; levels may differ by a little (a server that mixes in floating point).
  void expectRecordingHolds(const std::vector<std::uint8_t>& recording,
                            const std::vector<std::uint8_t>& decoded) {
    const std::size_t frames = recording.size() / 4;
    std::size_t first = 0;
    while (first < frames && markerOf(&recording[first * 4]) < 0) ++first;
    ASSERT_LT(first, frames) << "nothing was heard";
    const std::size_t expected = decoded.size() / 4;
    ASSERT_LE(first + expected, frames) << "the recording ends before the audio does";
    std::size_t mismatches = 0;
    std::size_t firstMismatch = 0;
    for (std::size_t k = 0; k < expected; ++k) {
      if (markerOf(&recording[(first + k) * 4]) != markerOf(&decoded[k * 4])) {
        if (mismatches++ == 0) firstMismatch = k;
      }
    }
    EXPECT_EQ(mismatches, 0u) << "first at frame " << firstMismatch << " of " << expected;
    for (std::size_t k = first + expected; k < frames; ++k) {
      ASSERT_LT(markerOf(&recording[k * 4]), 0) << "audio after the end, frame " << k - first;
    }
  }

  TempDir dir_;
};

TEST_F(StreamPlayerE2E, LocalFilePlaysEveryFrameInOrderToTheLast) {
  const auto path = dir_.file("markers.wav");
  writeWav(path, markerFrames(48000 * 2));
  const auto decoded = decodedByFFmpeg(path);
  ASSERT_EQ(decoded, markerFrames(48000 * 2));

  PrivateSink sink;
  MonitorRecorder recorder(sink.name());
  const auto result =
      runCommand({program("vellory-player"), "--file", path}, 15s, {{"PULSE_SINK", sink.name()}});
  const auto recording = recorder.finish();
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, fileLine);
  EXPECT_EQ(result.out, "");
  expectRecordingHolds(recording, decoded);
}

TEST_F(StreamPlayerE2E, HttpsUrlFromALocalServerPlays) {
  writeWav(dir_.file("stream.wav"), markerFrames(48000));
  HttpsServer server(dir_.path());
  const auto url = server.url("stream.wav");

  PrivateSink sink;
  MonitorRecorder recorder(sink.name());
  const auto result =
      runCommand({program("vellory-player"), "--url", url}, 15s,
                 {{"PULSE_SINK", sink.name()}, {"VELLORY_TLS_CA_FILE", server.certificate()}});
  const auto recording = recorder.finish();
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, urlLine);
  expectRecordingHolds(recording, markerFrames(48000));
}

TEST_F(StreamPlayerE2E, SigtermWhilePlayingAStreamEndsAtOnceWithStatus0) {
  writeSparseWav(dir_.file("long.wav"), 120);
  HttpsServer server(dir_.path());
  const auto url = server.url("long.wav");
  BackgroundProcess player({program("vellory-player"), "--url", url},
                           {{"VELLORY_TLS_CA_FILE", server.certificate()}});
  ASSERT_TRUE(waitUntil([&] { return player.errorsSoFar() == urlLine; }, 10s));
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(decoderRunsFor(url));

  expectSigtermEndsAtOnce(player, url, urlLine, 200ms);
}

TEST_F(StreamPlayerE2E, SignalsIgnoredByTheParentStillStopItWithStatus0) {
  const auto path = dir_.file("long.wav");
  writeSparseWav(path, 120);
  for (const int signalNumber : {SIGINT, SIGTERM}) {
    BackgroundProcess player(underIgnoringParent({program("vellory-player"), "--file", path}));
    ASSERT_TRUE(waitUntil([&] { return player.errorsSoFar() == fileLine; }, 10s))
        << player.errorsSoFar();
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(decoderRunsFor(path));  // still playing
    EXPECT_FALSE(ignoresStopSignals(player.pid()));
    player.signal(signalNumber);
    const auto result = player.wait(5s);
    ASSERT_TRUE(result.has_value()) << "signal " << signalNumber << " did not stop the player";
    EXPECT_EQ(result->status, 0) << result->err;
    EXPECT_FALSE(decoderRunsFor(path));
  }
}

TEST_F(StreamPlayerE2E, ALongFileDoesNotPileUpInMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's own memory hides the player's";
#endif
  // 30 minutes that the decoder reads far faster than real time.
  const auto path = dir_.file("thirty-minutes.wav");
  writeSparseWav(path, 30 * 60);
  const auto started = std::chrono::steady_clock::now();
  BackgroundProcess player({program("vellory-player"), "--file", path});
  std::this_thread::sleep_until(started + 10s);
  const long peakKB = peakMemoryKB(player.pid());
  ASSERT_TRUE(decoderRunsFor(path));  // held back, not finished
  player.signal(SIGTERM);
  const auto result = player.wait(5s);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->status, 0) << result->err;
  EXPECT_EQ(result->err, fileLine);
  ASSERT_GT(peakKB, 0);
  RecordProperty("peakKB", static_cast<int>(peakKB));
  EXPECT_LT(peakKB, 32 * 1024);
}

}  // namespace
}  // namespace vellory::e2e
