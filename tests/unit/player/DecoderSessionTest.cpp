#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "fakes/FakeOutputQueue.hpp"
#include "player/DecoderSession.hpp"

namespace vellory::player {
namespace {

using namespace std::chrono_literals;

template <class F>
bool eventually(F condition, std::chrono::milliseconds timeout = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

TEST(DecoderSession, HoldsBackAFastDecoderAndLetsItGoAfterAStop) {
  testing::FakeAudioOutput output;
  StereoPcmQueuePlayer player(output);
  const std::size_t limit = 1'000'000;
  // Far more than the limit, far faster than it could play.
  DecoderSession session(ChildProcess::launch(VELLORY_FAKE_DECODER, {"out:20000000"}), player,
                         limit);
  ASSERT_TRUE(eventually([&] { return player.bufferedBytes() > limit; }));
  std::this_thread::sleep_for(200ms);
  EXPECT_LE(player.bufferedBytes(), limit + DecoderSession::readBlockBytes);
  EXPECT_TRUE(session.process().isRunning());  // blocked on its full pipe
  EXPECT_FALSE(session.outputEnded());

  // Once stopped, the reader reads on and discards: the decoder finishes by itself.
  player.stop();
  EXPECT_TRUE(session.process().waitForExit(5s));
  EXPECT_EQ(session.finish(false), 0);
  EXPECT_TRUE(session.outputEnded());
  EXPECT_LE(player.bufferedBytes(), limit + DecoderSession::readBlockBytes);
}

TEST(DecoderSession, CollectsAllOfALargeErrorOutputWhileTheDecoderRuns) {
  testing::FakeAudioOutput output;
  StereoPcmQueuePlayer player(output);
  DecoderSession session(
      ChildProcess::launch(VELLORY_FAKE_DECODER, {"err:3000000", "out:400", "say:last", "exit:4"}),
      player, 1'000'000);
  // A decoder whose error pipe nobody read would block long before this.
  ASSERT_TRUE(eventually([&] { return session.outputEnded(); }));
  EXPECT_EQ(session.finish(false), 4);
  EXPECT_EQ(session.errorBytes().size(), 3000000u + 5u);
  EXPECT_EQ(session.errorBytes().substr(session.errorBytes().size() - 5), "last\n");
  EXPECT_EQ(player.bufferedBytes(), 400u);
}

TEST(DecoderSession, KillsADecoderThatIgnoresTerminate) {
  testing::FakeAudioOutput output;
  StereoPcmQueuePlayer player(output);
  DecoderSession session(
      ChildProcess::launch(VELLORY_FAKE_DECODER, {"ignore-term", "out:4", "hold"}), player,
      1'000'000);
  ASSERT_TRUE(eventually([&] { return player.bufferedBytes() == 4; }));
  player.stop();
  session.process().terminate();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(session.finish(true, 300ms), SIGKILL);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

}  // namespace
}  // namespace vellory::player
