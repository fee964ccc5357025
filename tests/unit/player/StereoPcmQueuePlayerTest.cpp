#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "fakes/FakeOutputQueue.hpp"
#include "player/PlayerError.hpp"
#include "player/StereoPcmQueuePlayer.hpp"

namespace vellory::player {
namespace {

using testing::FakeAudioOutput;
using testing::FakeQueueScript;
using testing::QueueCall;

std::vector<std::uint8_t> pcm(std::size_t size, std::uint8_t seed = 1) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + 1);
  return bytes;
}

std::vector<std::size_t> queuedSizes(FakeAudioOutput& output) {
  std::vector<std::size_t> sizes;
  for (const auto& copy : output.last()->queuedHistory()) sizes.push_back(copy.bytes.size());
  return sizes;
}

bool isSilence(const testing::QueuedCopy& copy) {
  for (auto byte : copy.bytes) {
    if (byte != std::byte{0}) return false;
  }
  return true;
}

TEST(StereoPcmQueuePlayer, AsksForStereoSigned16BitPcm) {
  FakeAudioOutput output;
  StereoPcmQueuePlayer player(output, 48000.0);
  player.play();
  const auto& format = output.last()->format;
  EXPECT_EQ(format.mSampleRate, 48000.0);
  EXPECT_EQ(format.mFormatID, formatLinearPCM);
  EXPECT_EQ(format.mFormatFlags, 0x0Cu);
  EXPECT_EQ(format.mBytesPerFrame, 4u);
  EXPECT_EQ(format.mChannelsPerFrame, 2u);
  EXPECT_EQ(format.mBitsPerChannel, 16u);
  EXPECT_EQ(output.last()->count("allocate 16384"), 4u);
  player.stop();
}

TEST(StereoPcmQueuePlayer, PrimesFromWhatIsThereAndPlaysSilenceOnUnderrun) {
  FakeAudioOutput output;
  StereoPcmQueuePlayer player(output);
  const auto bytes = pcm(20000);
  player.append(bytes.data(), bytes.size());
  player.play();
  EXPECT_EQ(queuedSizes(output), (std::vector<std::size_t>{16384, 3616, 16384, 16384}));
  auto history = output.last()->queuedHistory();
  EXPECT_TRUE(isSilence(history[2]));
  EXPECT_TRUE(isSilence(history[3]));
  EXPECT_TRUE(player.isPlaying());

  // Underrun goes on with silence for as long as the input stays open...
  output.last()->playAll(6);
  history = output.last()->queuedHistory();
  for (std::size_t i = 4; i < history.size(); ++i) EXPECT_TRUE(isSilence(history[i]));
  EXPECT_TRUE(player.isPlaying());
  // ...and the next bytes come out in the next buffer that comes back.
  const auto more = pcm(100, 9);
  player.append(more.data(), more.size());
  output.last()->playNext();
  history = output.last()->queuedHistory();
  EXPECT_EQ(history.back().bytes.size(), 100u);
  EXPECT_EQ(std::memcmp(history.back().bytes.data(), more.data(), 100), 0);
  player.stop();
}

TEST(StereoPcmQueuePlayer, FinishesAfterTheQueuedAudioHasPlayedOut) {
  FakeAudioOutput output;
  StereoPcmQueuePlayer player(output);
  const auto bytes = pcm(40000);
  player.append(bytes.data(), bytes.size());
  player.markEnd();
  player.play();
  EXPECT_EQ(queuedSizes(output), (std::vector<std::size_t>{16384, 16384, 7232}));
  std::vector<std::uint8_t> queued;
  for (const auto& copy : output.last()->queuedHistory()) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(copy.bytes.data());
    queued.insert(queued.end(), data, data + copy.bytes.size());
  }
  EXPECT_EQ(queued, bytes);
  EXPECT_TRUE(player.isPlaying());
  // The end was met while priming: the queue is told to play out, and the player keeps
  // playing until all of it has been played.
  EXPECT_EQ(output.last()->count("stop playout"), 1u);
  output.last()->playNext();
  output.last()->playNext();
  EXPECT_TRUE(player.isPlaying());
  output.last()->playNext();
  EXPECT_FALSE(player.isPlaying());
  EXPECT_EQ(output.last()->count("stop immediate"), 0u);
  player.stop();
  EXPECT_TRUE(output.last()->disposed());
}

TEST(StereoPcmQueuePlayer, EndAfterUnderrunFinishesAtTheNextCallback) {
  FakeAudioOutput output;
  StereoPcmQueuePlayer player(output);
  player.play();
  EXPECT_EQ(queuedSizes(output), (std::vector<std::size_t>(4, 16384)));
  const auto bytes = pcm(8);
  player.append(bytes.data(), bytes.size());
  player.append(bytes.data(), 0);
  player.markEnd();
  output.last()->playNext();
  EXPECT_EQ(queuedSizes(output).back(), 8u);
  EXPECT_EQ(output.last()->count("stop playout"), 0u);
  output.last()->playNext();  // store empty, input ended
  EXPECT_EQ(output.last()->count("stop playout"), 1u);
  EXPECT_TRUE(player.isPlaying());  // three buffers still to be heard
  output.last()->playAll();
  EXPECT_FALSE(player.isPlaying());
  player.stop();
}

TEST(StereoPcmQueuePlayer, PassesOnWholeFramesOnly) {
  FakeAudioOutput output;
  StereoPcmQueuePlayer player(output);
  const auto bytes = pcm(16386);
  player.append(bytes.data(), 6);
  player.play();
  const auto history = output.last()->queuedHistory();
  EXPECT_EQ(history[0].bytes.size(), 4u);
  player.append(bytes.data() + 6, bytes.size() - 6);
  output.last()->playNext();
  const auto next = output.last()->queuedHistory().back();
  EXPECT_EQ(next.bytes.size(), 16380u);
  EXPECT_EQ(std::memcmp(next.bytes.data(), bytes.data() + 4, 16380), 0);
  player.markEnd();
  output.last()->playAll();  // the last two bytes, half a frame, are dropped
  for (const auto& copy : output.last()->queuedHistory()) EXPECT_EQ(copy.bytes.size() % 4, 0u);
  EXPECT_FALSE(player.isPlaying());
  player.stop();
}

TEST(StereoPcmQueuePlayer, StopBeforePlayMakesNoQueueAndPlayThenDoesNothing) {
  FakeAudioOutput output;
  StereoPcmQueuePlayer player(output);
  player.stop();
  EXPECT_FALSE(player.isPlaying());
  const auto bytes = pcm(40000);
  player.append(bytes.data(), bytes.size());
  player.play();
  EXPECT_FALSE(player.isPlaying());
  EXPECT_EQ(output.newOutputCalls(), 0u);
}

TEST(StereoPcmQueuePlayer, StopReleasesTheQueueOnceFromAnyNumberOfThreads) {
  for (int round = 0; round < 20; ++round) {
    FakeAudioOutput output;
    StereoPcmQueuePlayer player(output);
    player.play();
    output.last()->startAutoPlay(std::chrono::microseconds(100));
    std::thread other([&] { player.stop(); });
    player.stop();
    other.join();
    player.stop();
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(output.last()->count("stop immediate"), 1u);
    EXPECT_EQ(output.last()->count("dispose"), 1u);
    output.last()->stopAutoPlay();
  }
}

TEST(StereoPcmQueuePlayer, ReportsEachFailureOfPlay) {
  struct Case {
    QueueCall call;
    const char* message;
  };
  for (const auto& [call, message] :
       {Case{QueueCall::newOutput, "AudioQueueNewOutput failed (-50)."},
        Case{QueueCall::allocate, "AudioQueueAllocateBuffer failed (-50)."},
        Case{QueueCall::start, "AudioQueueStart failed (-50)."}}) {
    FakeAudioOutput output;
    FakeQueueScript script;
    script.results[call] = {-50};
    output.setScript(script);
    StereoPcmQueuePlayer player(output);
    try {
      player.play();
      ADD_FAILURE() << message;
    } catch (const PlayerError& error) {
      EXPECT_EQ(error.description(), message);
    }
    EXPECT_FALSE(player.isPlaying());
    player.stop();
    if (call != QueueCall::newOutput) {
      EXPECT_TRUE(output.last()->disposed());
    }
  }
  FakeAudioOutput output;
  FakeQueueScript script;
  script.newOutputWithoutQueue = true;
  output.setScript(script);
  StereoPcmQueuePlayer player(output);
  EXPECT_THROW(
      {
        try {
          player.play();
        } catch (const PlayerError& error) {
          EXPECT_STREQ(error.what(), "AudioQueueNewOutput failed (0).");
          throw;
        }
      },
      PlayerError);
}

}  // namespace
}  // namespace vellory::player
