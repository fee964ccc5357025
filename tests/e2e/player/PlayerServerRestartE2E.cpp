#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "e2e/player/PlayerE2ESupport.hpp"
#include "e2e/support/RestartableSoundServer.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;

const std::string fileLine = "[vellory-player] progressive file → stereo AudioQueue @ 48000 Hz\n";

TEST(PlayerServerRestart, AKilledServerEndsTheRunWithItsLineAndTheRestartedOneServesTheNext) {
  if (!haveSoundServer()) GTEST_SKIP() << "no sound server (PULSE_SERVER)";
  TempDir dir;
  const auto path = dir.file("long.wav");
  writeSparseWav(path, 60);
  RestartableSoundServer server;

  BackgroundProcess player({program("vellory-player"), "--file", path}, server.environment());
  ASSERT_TRUE(waitUntil([&] { return player.errorsSoFar() == fileLine; }, 10s))
      << player.errorsSoFar();
  std::this_thread::sleep_for(500ms);
  const auto killed = std::chrono::steady_clock::now();
  server.kill();
  // The server comes back on the same socket while the player ends.
  server.start();
  const auto result = player.wait(10s);
  ASSERT_TRUE(result.has_value()) << "the player runs on without its output";
  EXPECT_EQ(result->status, 1);
  EXPECT_EQ(result->err,
            fileLine + "[vellory-player] Audio output stopped before the stream ended.\n");
  EXPECT_LT(std::chrono::steady_clock::now() - killed, 5s);
  EXPECT_FALSE(decoderRunsFor(path));

  const auto shortPath = dir.file("short.wav");
  writeWav(shortPath, markerFrames(24000));
  const auto next =
      runCommand({program("vellory-player"), "--file", shortPath}, 15s, server.environment());
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(next.err, fileLine);
}

}  // namespace
}  // namespace vellory::e2e
