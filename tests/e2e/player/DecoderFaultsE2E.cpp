#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "e2e/player/PlayerE2ESupport.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string fileLine = "[vellory-player] progressive file → stereo AudioQueue @ 48000 Hz\n";

// The real player with a misbehaving stand-in for the decoder: each run ends with the right
// status and line, within its bound, and leaves no decoder behind.
class DecoderFaultsE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveSoundServer()) GTEST_SKIP() << "no sound server (PULSE_SERVER)";
  }

  // An executable that notes its process id and becomes the stand-in running `script`.
  std::string scriptedDecoder(const std::string& script) {
    const auto path = dir_.file("decoder.sh");
    std::ofstream(path) << "#!/bin/sh\necho $$ > " << pidFile() << "\nexec " << VELLORY_FAKE_DECODER
                        << " " << script << " -- \"$@\"\n";
    chmod(path.c_str(), 0755);
    return path;
  }

  std::string pidFile() const { return dir_.file("decoder.pid"); }

  // True while the last decoder runs (a zombie does not count: it has ended).
  bool decoderLeft() const {
    pid_t pid = 0;
    std::ifstream(pidFile()) >> pid;
    if (pid <= 0) return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
  }

  CommandResult play(const std::string& script, std::chrono::milliseconds limit) {
    const auto started = Clock::now();
    auto result = runCommand({program("vellory-player"), "--file", "/music/a.mp3"}, limit + 10s,
                             {{"VELLORY_FFMPEG", scriptedDecoder(script)}});
    EXPECT_LT(Clock::now() - started, limit) << script;
    EXPECT_FALSE(decoderLeft()) << script;
    return result;
  }

  TempDir dir_;
};

TEST_F(DecoderFaultsE2E, FiftyMegabytesOfErrorsEndAsOneBoundedLine) {
  const auto result = play("err:52428800 out:96000 exit:1", 30s);
  EXPECT_EQ(result.status, 1);
  std::string shown;
  for (int i = 0; i < 3; ++i) shown += std::string(63, 'e') + " ";
  shown += std::string(199 - shown.size(), 'e') + "…";
  EXPECT_EQ(result.err, fileLine + "[vellory-player] " + shown + "\n");
}

TEST_F(DecoderFaultsE2E, ADecoderThatDiesMidStreamIsAFailure) {
  const auto result = play("out:96000 die:9", 10s);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, fileLine + "[vellory-player] ffmpeg exited with status 9.\n");
}

TEST_F(DecoderFaultsE2E, ADecoderThatWritesNothingIsEndedAfterTenSeconds) {
  const auto result = play("hold", 15s);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[vellory-player] Stream produced no audio.\n");
}

TEST_F(DecoderFaultsE2E, ADecoderThatClosesItsOutputIsHeardToThatPointAndEnded) {
  // Closed before any audio: nothing to play.
  auto result = play("close-out hold", 10s);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[vellory-player] Stream produced no audio.\n");
  // Closed after half a second of audio while it runs on: played, then the decoder is ended.
  result = play("out:96000 close-out hold", 10s);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, fileLine);
}

TEST_F(DecoderFaultsE2E, ADecoderThatIgnoresSigtermIsKilled) {
  BackgroundProcess player({program("vellory-player"), "--file", "/music/a.mp3"},
                           {{"VELLORY_FFMPEG", scriptedDecoder("ignore-term out:960000 hold")}});
  ASSERT_TRUE(waitUntil([&] { return player.errorsSoFar() == fileLine; }, 10s));
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(decoderLeft());
  const auto signalled = Clock::now();
  player.signal(SIGTERM);
  const auto result = player.wait(10s);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->status, 0) << result->err;
  EXPECT_EQ(result->err, fileLine);
  EXPECT_LT(Clock::now() - signalled, 4s);
  EXPECT_FALSE(decoderLeft());
}

}  // namespace
}  // namespace vellory::e2e
