#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "e2e/support/Command.hpp"
#include "e2e/support/RestartableSoundServer.hpp"
#include "e2e/support/SoundFixtures.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;

TEST(AnnouncementServerRestart, AKilledServerEndsTheRunWithItsLineAndTheRestartedOneServesTheNext) {
  TempDir dir;
  makeTone(dir.file("tone.wav"), 440, 20.0);
  makeTone(dir.file("short.wav"), 440, 0.5);
  RestartableSoundServer server;
  const std::string tool = program("vellory-announcement-player");

  BackgroundProcess player({tool, "--file", dir.file("tone.wav")}, server.environment());
  ASSERT_TRUE(waitUntil(
      [&] { return player.errorsSoFar().find("interleaved @ ") != std::string::npos; }, 10s))
      << player.errorsSoFar();
  std::this_thread::sleep_for(1100ms + 1000ms);
  const auto killed = std::chrono::steady_clock::now();
  server.kill();
  const auto result = player.wait(10s);
  const auto ended = std::chrono::steady_clock::now();
  server.start();
  ASSERT_TRUE(result.has_value()) << "the player runs on without its output";
  EXPECT_EQ(result->status, 1);
  const std::string line =
      "[announcement-player] Audio output stopped before the announcement ended.\n";
  ASSERT_GE(result->err.size(), line.size()) << result->err;
  EXPECT_EQ(result->err.substr(result->err.size() - line.size()), line) << result->err;
  EXPECT_LT(ended - killed, 1s);

  const auto next = runCommand({tool, "--file", dir.file("short.wav")}, 15s, server.environment());
  EXPECT_EQ(next.status, 0) << next.err;
}

}  // namespace
}  // namespace vellory::e2e
