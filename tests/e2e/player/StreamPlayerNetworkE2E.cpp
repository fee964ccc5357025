#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "e2e/player/PlayerE2ESupport.hpp"
#include "e2e/support/AudioAnalysis.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;

const std::string urlLine = "[vellory-player] progressive url → stereo AudioQueue @ 48000 Hz\n";
const std::string notOverHttpsLine =
    "[vellory-player] Part of the stream was not served over https, so it was not played.\n";
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

// How a tone of `frequency` sounds in a recording's left channel, 0.1 s at a time: at its
// loudest, and in how many tenths of a second it is clearly there.
struct ToneHeard {
  double loudest = 0;
  int tenths = 0;
};

ToneHeard toneIn(const std::vector<std::uint8_t>& recording, double frequency) {
  std::vector<float> left;
  for (std::size_t k = 0; k + 4 <= recording.size(); k += 4) {
    left.push_back(
        static_cast<float>(static_cast<std::int16_t>(recording[k] | (recording[k + 1] << 8))) /
        32768.0f);
  }
  ToneHeard heard;
  const std::size_t tenth = rate / 10;
  for (std::size_t start = 0; start + tenth <= left.size(); start += tenth) {
    const std::vector<float> window(left.begin() + static_cast<std::ptrdiff_t>(start),
                                    left.begin() + static_cast<std::ptrdiff_t>(start + tenth));
    const double level = toneAmplitude(window, rate, frequency);
    heard.loudest = std::max(heard.loudest, level);
    if (level > 0.1) ++heard.tenths;
  }
  return heard;
}

constexpr const char* segmentKeyHex = "00112233445566778899aabbccddeeff";

// A playlist segment `name` in `dir`: `seconds` of a tone of `frequency` at half scale, AAC in
// MPEG-TS, encrypted with AES-128 (`segmentKeyHex`, IV 0) when `encrypted`.
void makeSegment(const TempDir& dir, const std::string& name, double frequency,
                 double seconds = 2.0, bool encrypted = false) {
  makeTone(dir.file(name + ".wav"), frequency, seconds);
  const auto plain = encrypted ? dir.file(name + ".plain") : dir.file(name);
  const auto made = runCommand({"ffmpeg", "-v", "error", "-y", "-i", dir.file(name + ".wav"),
                                "-c:a", "aac", "-f", "mpegts", plain});
  ASSERT_EQ(made.status, 0) << made.err;
  if (!encrypted) return;
  const auto sealed = runCommand({"openssl", "aes-128-cbc", "-K", segmentKeyHex, "-iv",
                                  std::string(32, '0'), "-in", plain, "-out", dir.file(name)});
  ASSERT_EQ(sealed.status, 0) << sealed.err;
}

// A complete playlist of segments (URL and seconds), decrypted with the key at `keyURL` when one
// is given.
void writePlaylist(const std::string& path,
                   const std::vector<std::pair<std::string, double>>& segments,
                   const std::string& keyURL = "") {
  std::ofstream out(path);
  out << "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:6\n#EXT-X-MEDIA-SEQUENCE:0\n";
  if (!keyURL.empty()) {
    out << "#EXT-X-KEY:METHOD=AES-128,URI=\"" << keyURL << "\",IV=0x" << std::string(32, '0')
        << "\n";
  }
  for (const auto& [url, seconds] : segments) out << "#EXTINF:" << seconds << ",\n" << url << "\n";
  out << "#EXT-X-ENDLIST\n";
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
    auto [result, recording] = recordPlaying(url);
    return {result, heardIn(recording)};
  }

  // The same, with the recording as it is.
  std::pair<CommandResult, std::vector<std::uint8_t>> recordPlaying(const std::string& url) {
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
    return {result.value_or(CommandResult{}), recorder.finish()};
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

// The decoder skips a segment it may not fetch and would go on with the next: the plain http
// segment is never asked for, nothing after it is heard, and the run fails.
TEST_F(StreamPlayerNetworkE2E, APlaylistSegmentOnPlainHttpIsRefusedAndTheRunFails) {
  makeSegment(dir_, "a.ts", 440, 6.0);
  makeSegment(dir_, "a2.ts", 440);
  makeSegment(dir_, "b.ts", 1000);
  makeSegment(dir_, "c.ts", 660);
  // The decoder opens each segment as it begins the one before. The first comes at about real
  // time (20000 bytes a second), so that it plays for some seconds before the decoder gets to
  // the plain one.
  writePlaylist(dir_.file("mixed.m3u8"), {{server_->url("a.ts?rate=20000"), 6.0},
                                          {server_->url("a2.ts"), 2.0},
                                          {server_->plainUrl("b.ts"), 2.0},
                                          {server_->url("c.ts"), 2.0}});
  const auto [result, recording] = recordPlaying(server_->url("mixed.m3u8"));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, urlLine + notOverHttpsLine);
  EXPECT_GT(toneIn(recording, 440).tenths, 20);
  EXPECT_LT(toneIn(recording, 1000).loudest, 0.02);
  EXPECT_LT(toneIn(recording, 660).loudest, 0.02);
  for (const auto& path : server_->requestPaths()) EXPECT_NE(path.rfind("http:", 0), 0u) << path;
}

TEST_F(StreamPlayerNetworkE2E, ARedirectToPlainHttpIsRefused) {
  const auto url = server_->url("six.wav?redirect=" + server_->plainUrl("six.wav"));
  PrivateSink sink;
  const auto result = runCommand({program("vellory-player"), "--url", url}, 30s, environment(sink));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, notOverHttpsLine);
  EXPECT_FALSE(decoderRunsFor(url));
}

// Everything on https: the playlist, reached through a redirect, its key and its segments.
TEST_F(StreamPlayerNetworkE2E, AnEncryptedPlaylistOnHttpsPlaysWhole) {
  makeSegment(dir_, "a.ts", 440, 2.0, true);
  makeSegment(dir_, "b.ts", 440, 2.0, true);
  std::ofstream key(dir_.file("segments.key"), std::ios::binary);
  for (std::size_t k = 0; k < 32; k += 2) {
    key.put(static_cast<char>(std::stoi(std::string(segmentKeyHex).substr(k, 2), nullptr, 16)));
  }
  key.close();
  writePlaylist(dir_.file("list.m3u8"), {{server_->url("a.ts"), 2.0}, {server_->url("b.ts"), 2.0}},
                server_->url("segments.key"));
  const auto [result, recording] =
      recordPlaying(server_->url("moved.m3u8?redirect=" + server_->url("list.m3u8")));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, urlLine);
  const auto heard = toneIn(recording, 440);
  EXPECT_GE(heard.tenths, 36);
  EXPECT_LE(heard.tenths, 44);
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
