#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <map>
#include <optional>
#include <thread>

#include "e2e/player/PlayerE2ESupport.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;

const std::string urlLine = "[vellory-player] progressive url → stereo AudioQueue @ 48000 Hz\n";
constexpr std::size_t rate = 48000;

// What was heard of a marker recording: the markers of its sounding frames in order, and the
// longest silence between the first and the last of them.
struct Heard {
  std::vector<int> markers;
  std::size_t longestGapFrames = 0;
};

Heard heardIn(const std::vector<std::uint8_t>& recording) {
  Heard heard;
  std::size_t gap = 0;
  for (std::size_t k = 0; k + 4 <= recording.size(); k += 4) {
    const int marker = markerOf(&recording[k]);
    if (marker < 0) {
      ++gap;
      continue;
    }
    if (!heard.markers.empty()) heard.longestGapFrames = std::max(heard.longestGapFrames, gap);
    gap = 0;
    heard.markers.push_back(marker);
  }
  return heard;
}

std::vector<int> markersOf(const std::vector<std::uint8_t>& pcm) {
  std::vector<int> markers;
  for (std::size_t k = 0; k + 4 <= pcm.size(); k += 4) markers.push_back(markerOf(&pcm[k]));
  return markers;
}

class StreamPlayerNetworkE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveSoundServer()) GTEST_SKIP() << "no sound server (PULSE_SERVER)";
    pcm_ = markerFrames(rate * 6);
    writeWav(dir_.file("six.wav"), pcm_);
    server_ = std::make_unique<PacedHttpsServer>(dir_.path());
  }

  // The test server's certificate is trusted; it is self-signed.
  std::map<std::string, std::string> trusting() const {
    return {{"VELLORY_TLS_CA_FILE", server_->certificate()}};
  }
  std::map<std::string, std::string> environment(const PrivateSink& sink) const {
    auto variables = trusting();
    variables["PULSE_SINK"] = sink.name();
    return variables;
  }

  // Plays `url` to its end into a private output and returns the result and what was heard.
  std::pair<CommandResult, Heard> playAndRecord(const std::string& url) {
    PrivateSink sink;
    MonitorRecorder recorder(sink.name());
    BackgroundProcess player({program("vellory-player"), "--url", url}, environment(sink));
    std::optional<CommandResult> result;
    const auto deadline = std::chrono::steady_clock::now() + 40s;
    while (!result && std::chrono::steady_clock::now() < deadline) {
      recorder.keepUp();
      result = player.wait(50ms);
    }
    if (!result) ADD_FAILURE() << "the player did not end";
    return {result.value_or(CommandResult{}), heardIn(recorder.finish())};
  }

  TempDir dir_;
  std::vector<std::uint8_t> pcm_;
  std::unique_ptr<PacedHttpsServer> server_;
};

TEST_F(StreamPlayerNetworkE2E, ADroppedConnectionResumesAndTheWholeStreamIsHeard) {
  const auto [result, heard] = playAndRecord(server_->url("six.wav?drop=3"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, urlLine);
  const auto starts = server_->requestStarts();
  ASSERT_GE(starts.size(), 2u);
  EXPECT_GT(starts.back(), 48000 * 4) << "the decoder asked again from where it was";
  EXPECT_TRUE(heard.markers == markersOf(pcm_))
      << "heard " << heard.markers.size() << " of " << pcm_.size() / 4 << " frames";
  EXPECT_LT(heard.longestGapFrames, 3 * rate);
}

TEST_F(StreamPlayerNetworkE2E, AStallGivesSilenceUntilTheServerGoesOn) {
  const auto [result, heard] = playAndRecord(server_->url("six.wav?stall=2:3"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, urlLine);
  EXPECT_TRUE(heard.markers == markersOf(pcm_))
      << "heard " << heard.markers.size() << " of " << pcm_.size() / 4 << " frames";
  // The head start covers half a second of the three.
  EXPECT_GT(heard.longestGapFrames, 2 * rate);
}

// A read that waits 5 s is given up, and the stream is asked for again from where it was.
TEST_F(StreamPlayerNetworkE2E, ALongStallIsResumedOnANewConnection) {
  const auto [result, heard] = playAndRecord(server_->url("six.wav?stall=2:60"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, urlLine);
  const auto starts = server_->requestStarts();
  ASSERT_GE(starts.size(), 2u);
  EXPECT_GT(starts.back(), 48000 * 4);
  EXPECT_TRUE(heard.markers == markersOf(pcm_))
      << "heard " << heard.markers.size() << " of " << pcm_.size() / 4 << " frames";
  EXPECT_LT(heard.longestGapFrames, 10 * rate);
}

TEST_F(StreamPlayerNetworkE2E, AStreamThatCannotBeResumedFailsWithTheDecodersLastLine) {
  const auto url = server_->url("six.wav?drop=2&short=1");
  const auto [result, heard] = playAndRecord(url);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, urlLine + "[vellory-player] " + url + ": Input/output error\n");
  EXPECT_GT(heard.markers.size(), rate);
  EXPECT_LT(heard.markers.size(), 4 * rate);
}

TEST_F(StreamPlayerNetworkE2E, NotFoundAndRefusedEndWithTheDecodersMessage) {
  const auto missing = server_->url("missing.wav");
  const auto notFound = runCommand({program("vellory-player"), "--url", missing}, 20s, trusting());
  EXPECT_EQ(notFound.status, 1);
  EXPECT_EQ(notFound.err, "[vellory-player] " + missing + ": Server returned 404 Not Found\n");

  const auto url = "https://127.0.0.1:" + std::to_string(closedPort()) + "/six.wav";
  const auto started = std::chrono::steady_clock::now();
  const auto refused = runCommand({program("vellory-player"), "--url", url}, 30s, trusting());
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err.rfind("[vellory-player] ", 0), 0u) << refused.err;
  EXPECT_NE(refused.err.find("Connection refused"), std::string::npos) << refused.err;
  EXPECT_EQ(refused.err.find('\n'), refused.err.size() - 1) << refused.err;
  // The decoder tries again for a few seconds, not for minutes.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 15s);
  EXPECT_FALSE(decoderRunsFor(url));
}

TEST_F(StreamPlayerNetworkE2E, SigtermDuringAStallEndsAtOnceWithStatus0) {
  const auto url = server_->url("six.wav?stall=1:60");
  PrivateSink sink;
  BackgroundProcess player({program("vellory-player"), "--url", url}, environment(sink));
  ASSERT_TRUE(waitUntil([&] { return player.errorsSoFar() == urlLine; }, 10s));
  // Well past the head start and the second before the stall: the output plays silence.
  std::this_thread::sleep_for(3s);
  ASSERT_TRUE(decoderRunsFor(url));

  expectSigtermEndsAtOnce(player, url, urlLine, 100ms);
}

// The decoder has a process group of its own, so a player killed outright leaves it behind: it
// must still end, also while it waits on a server that sends nothing.
TEST_F(StreamPlayerNetworkE2E, TheDecoderOfAKilledPlayerEndsDuringAStall) {
  const auto url = server_->url("six.wav?stall=1:60");
  PrivateSink sink;
  BackgroundProcess player({"setsid", program("vellory-player"), "--url", url}, environment(sink));
  ASSERT_TRUE(waitUntil([&] { return player.errorsSoFar() == urlLine; }, 10s));
  std::this_thread::sleep_for(2s);
  ASSERT_TRUE(decoderRunsFor(url));
  player.signal(SIGKILL);
  ASSERT_TRUE(player.wait(5s).has_value());
  // Well before the stall ends.
  EXPECT_TRUE(waitUntil([&] { return !decoderRunsFor(url); }, 20s));
}

// The decoder verifies the server: a self-signed certificate is refused before anything plays,
// unless VELLORY_TLS_CA_FILE names it.
TEST_F(StreamPlayerNetworkE2E, ASelfSignedServerIsRefusedUnlessItsCertificateIsTrusted) {
  writeWav(dir_.file("short.wav"), markerFrames(rate / 2));
  const auto url = server_->url("short.wav");
  PrivateSink sink;
  const auto refused = runCommand({program("vellory-player"), "--url", url}, 30s,
                                  {{"PULSE_SINK", sink.name()}, {"VELLORY_TLS_CA_FILE", ""}});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err.rfind("[vellory-player] ", 0), 0u) << refused.err;
  EXPECT_NE(refused.err.find("certificate"), std::string::npos) << refused.err;
  EXPECT_EQ(refused.err.find('\n'), refused.err.size() - 1) << refused.err;
  EXPECT_FALSE(decoderRunsFor(url));

  const auto [trusted, heard] = playAndRecord(url);
  EXPECT_EQ(trusted.status, 0) << trusted.err;
  EXPECT_EQ(trusted.err, urlLine);
  EXPECT_TRUE(heard.markers == markersOf(markerFrames(rate / 2)));
}

// A terminal's Ctrl-C reaches the player's whole process group; the decoder must not die of it
// first and turn the stop into a failure. The player leads a group of its own, as in a shell.
TEST_F(StreamPlayerNetworkE2E, CtrlCWhileBufferingEndsWithStatus0) {
  const auto url = server_->url("six.wav");
  PrivateSink sink;
  BackgroundProcess player({"setsid", program("vellory-player"), "--url", url}, environment(sink));
  std::this_thread::sleep_for(1500ms);
  interruptLikeATerminal(player.pid());
  const auto result = player.wait(10s);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->status, 0) << result->err;
  EXPECT_TRUE(result->err.empty() || result->err == urlLine) << result->err;
  EXPECT_FALSE(decoderRunsFor(url));
}

TEST_F(StreamPlayerNetworkE2E, CtrlCWhilePlayingEndsWithStatus0) {
  const auto url = server_->url("six.wav");
  PrivateSink sink;
  BackgroundProcess player({"setsid", program("vellory-player"), "--url", url}, environment(sink));
  ASSERT_TRUE(waitUntil([&] { return player.errorsSoFar() == urlLine; }, 10s));
  std::this_thread::sleep_for(1s);
  interruptLikeATerminal(player.pid());
  const auto result = player.wait(10s);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->status, 0) << result->err;
  EXPECT_EQ(result->err, urlLine);
  EXPECT_FALSE(decoderRunsFor(url));
}

}  // namespace
}  // namespace vellory::e2e
