#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

#include "unit/announcement/PlayerTestSupport.hpp"

namespace vellory::testing {
namespace {

using announcement::PlayerError;
using announcement::StereoFilePlayer;
using namespace std::chrono_literals;

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

using StereoFilePlayerConstruction = PlayerTest;

TEST_F(StereoFilePlayerConstruction, EveryFailureHasItsMessageAndReleasesWhatWasMade) {
  FakeFileScript script = fileOf(10000);
  script.openStatus = -43;
  EXPECT_EQ(constructionError(script), "Unable to open audio file (-43).");
  script = fileOf(10000);
  script.openWithoutFile = true;
  EXPECT_EQ(constructionError(script), "Unable to open audio file (0).");
  script = fileOf(10000);
  script.formatStatus = 1718449215;
  EXPECT_EQ(constructionError(script), "Unable to read file format (1718449215).");
  script = fileOf(10000);
  script.lengthStatus = -1;
  EXPECT_EQ(constructionError(script), "Unable to read file length (-1).");
  script = fileOf(10000);
  script.clientFormatStatus = -66;
  EXPECT_EQ(constructionError(script), "Unable to set stereo client format (-66).");
  EXPECT_EQ(files.record().open, 0);
  EXPECT_EQ(output.newOutputCalls(), 0u);

  FakeQueueScript queueScript;
  queueScript.results[QueueCall::newOutput] = {-4};
  EXPECT_EQ(constructionError(fileOf(10000), queueScript), "Unable to create audio queue (-4).");
  queueScript = {};
  queueScript.newOutputWithoutQueue = true;
  EXPECT_EQ(constructionError(fileOf(10000), queueScript), "Unable to create audio queue (0).");

  queueScript = {};
  queueScript.results[QueueCall::allocate] = {0, -108};
  EXPECT_EQ(constructionError(fileOf(10000), queueScript),
            "Unable to allocate audio buffer (-108).");
  EXPECT_TRUE(queue()->disposed());
  queueScript = {};
  queueScript.allocateWithoutBuffer = {2};
  EXPECT_EQ(constructionError(fileOf(10000), queueScript), "Unable to allocate audio buffer (0).");

  script = fileOf(10000);
  script.readFailures[1] = -39;
  EXPECT_EQ(constructionError(script), "ExtAudioFileRead failed (-39).");
  EXPECT_TRUE(queue()->disposed());
  EXPECT_EQ(files.record().open, 0);
}

TEST_F(StereoFilePlayerConstruction, FailedPrimingReadGivesTheReadersWordsOnOneBoundedLine) {
  FakeFileScript script = fileOf(10000);
  script.readFailures[0] = -39;
  script.readFailureText = "System error :\nInput/output error" + std::string(300, 'x');
  EXPECT_EQ(constructionError(script),
            "ExtAudioFileRead failed (System error : Input/output error" +
                std::string(200 - 34, 'x') + "\xE2\x80\xA6).");
}

TEST_F(StereoFilePlayerConstruction, ClientFormatIsStereoFloatAtTheFilesRate) {
  auto player = makePlayer(fileOf(441000, 0.5f, 44100.0));
  EXPECT_DOUBLE_EQ(player->duration(), 10.0);
  const AudioStreamBasicDescription format = queue()->format;
  EXPECT_EQ(format.mSampleRate, 44100.0);
  EXPECT_EQ(format.mFormatID, formatLinearPCM);
  EXPECT_EQ(format.mFormatFlags, 9u);
  EXPECT_EQ(format.mBytesPerPacket, 8u);
  EXPECT_EQ(format.mFramesPerPacket, 1u);
  EXPECT_EQ(format.mBytesPerFrame, 8u);
  EXPECT_EQ(format.mChannelsPerFrame, 2u);
  EXPECT_EQ(format.mBitsPerChannel, 32u);
  ASSERT_EQ(files.record().clientFormats.size(), 1u);
  EXPECT_EQ(files.record().clientFormats[0].mSampleRate, 44100.0);
  EXPECT_EQ(err.text(),
            "[announcement-player] Using output device 7 (Speakers)\n"
            "[announcement-player] first buffer Lmax=0.5 Rmax=0.5 frames=4096\n"
            "[announcement-player] AudioQueue stereo 2ch interleaved @ 44100 Hz\n");
  EXPECT_EQ(queue()->currentDevice(), "speakers");
}

TEST_F(StereoFilePlayerConstruction, MissingRateCountsAs48000) {
  for (double rate : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    StringSink lines;
    files.setScript(fileOf(96000, 0.5f, rate));
    StereoFilePlayer player("/a.wav", platform(), lines, logPath);
    EXPECT_DOUBLE_EQ(player.duration(), 2.0);
    EXPECT_EQ(player.clientFormat().mSampleRate, 48000.0);
    EXPECT_NE(lines.text().find("@ 48000 Hz\n"), std::string::npos);
  }
}

TEST_F(StereoFilePlayerConstruction, StatisticsLineOnceUnscaledAndWrittenToTheLog) {
  FakeFileScript script;
  script.samples = constantFrames(10000, -1.0f, 0.0f);
  script.samples[3] = 0.00001f;
  auto player = makePlayer(script);
  const std::string line = "[announcement-player] first buffer Lmax=1.0 Rmax=1e-05 frames=4096\n";
  EXPECT_NE(err.text().find(line), std::string::npos);
  EXPECT_EQ(readFile(logPath), line);
  player->play(1.0);  // the fade-in scales the samples, not the statistics
  queue()->playAll();
  EXPECT_EQ(err.text().find("first buffer", err.text().find("first buffer") + 1),
            std::string::npos);
}

TEST_F(StereoFilePlayerConstruction, UnwritableLogChangesNothing) {
  logPath = "/nonexistent-dir/stats.log";
  auto player = makePlayer(fileOf(5000));
  EXPECT_NE(err.text().find("frames=4096"), std::string::npos);
}

using StereoFilePlayerPriming = PlayerTest;

TEST_F(StereoFilePlayerPriming, ShortFileQueuesOneShortBufferAndPlaysOut) {
  auto player = makePlayer(fileOf(1000));
  EXPECT_EQ(files.record().reads, 3);
  EXPECT_FALSE(player->isPlaying());
  EXPECT_NE(err.text().find("frames=1000\n"), std::string::npos);
  player->play(0);
  EXPECT_EQ(queue()->calls(), (std::vector<std::string>{
                                  "setCurrentDevice speakers", "allocate 32768", "allocate 32768",
                                  "allocate 32768", "enqueue 0 8000", "start", "stop playout"}));
  // The queued audio is still to be heard: playing until the queue has played it out.
  EXPECT_TRUE(player->isPlaying());
  EXPECT_TRUE(queue()->playNext());
  EXPECT_FALSE(player->isPlaying());
  EXPECT_EQ(files.record().reads, 3);
}

TEST_F(StereoFilePlayerPriming, TwoFullBuffersForExactly8192Frames) {
  auto player = makePlayer(fileOf(8192));
  player->play(0);
  const auto history = queue()->queuedHistory();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].bytes.size(), 32768u);
  EXPECT_EQ(history[1].bytes.size(), 32768u);
  EXPECT_EQ(queue()->count("stop playout"), 1u);
  EXPECT_EQ(queue()->playAll(), 2u);
  EXPECT_FALSE(player->isPlaying());
}

TEST_F(StereoFilePlayerPriming, LongFileRefillsUntilItsLastShortBuffer) {
  auto player = makePlayer(fileOf(10 * 4096 + 100));
  EXPECT_EQ(queue()->count("enqueue"), 0u);  // primed, queued when playing starts
  player->play(0);
  EXPECT_EQ(queue()->queuedNow(), 3u);
  EXPECT_EQ(queue()->count("stop"), 0u);
  std::size_t played = 0;
  while (player->isPlaying() && queue()->playNext()) ++played;
  EXPECT_EQ(played, 11u);
  const auto history = queue()->queuedHistory();
  ASSERT_EQ(history.size(), 11u);
  EXPECT_EQ(history.back().bytes.size(), 800u);
  EXPECT_EQ(queue()->count("stop playout"), 1u);
  for (const auto& copy : history) {
    for (float sample : copy.floats()) ASSERT_EQ(sample, 0.8f);
  }
  player->stop();
  EXPECT_EQ(queue()->count("stop immediate"), 1u);
  EXPECT_EQ(files.record().disposed, 1);
}

TEST_F(StereoFilePlayerPriming, EmptyFileEndsByItself) {
  auto player = makePlayer(fileOf(0));
  EXPECT_EQ(err.text().find("first buffer"), std::string::npos);
  player->play(0);
  EXPECT_EQ(queue()->count("enqueue"), 0u);
  EXPECT_FALSE(player->isPlaying());
}

using StereoFilePlayerFades = PlayerTest;

// The gain each queued frame got, from a file whose samples are all 0.8.
std::vector<float> gainsOf(const std::vector<QueuedCopy>& history) {
  std::vector<float> gains;
  for (const auto& copy : history) {
    const auto samples = copy.floats();
    for (std::size_t i = 0; i < samples.size(); i += 2) gains.push_back(samples[i] / 0.8f);
  }
  return gains;
}

TEST_F(StereoFilePlayerFades, FadeInRisesFromSilenceIncludingThePrimedAudio) {
  auto player = makePlayer(fileOf(48000 * 4));
  player->play(2.0);
  EXPECT_EQ(clock.sleeps(), std::vector<std::chrono::microseconds>(20, 100ms));
  queue()->playAll(40);
  const auto gains = gainsOf(queue()->queuedHistory());
  ASSERT_GT(gains.size(), 96000u + 4096u);
  // 20 steps of 4800 frames (0.1 s): 0.0, 0.05, ... 0.95, then 1.0.
  for (std::size_t frame = 0; frame < gains.size(); frame += 1200) {
    const float expected = frame >= 96000 ? 1.0f : static_cast<float>(frame / 4800) / 20.0f;
    ASSERT_NEAR(gains[frame], expected, 1e-6) << "frame " << frame;
  }
  EXPECT_EQ(player->volume(), 1.0f);
}

TEST_F(StereoFilePlayerFades, WithoutFadeInTheAudioIsUntouched) {
  auto player = makePlayer(fileOf(48000));
  player->play(0);
  EXPECT_TRUE(clock.sleeps().empty());
  queue()->playAll();
  for (float gain : gainsOf(queue()->queuedHistory())) ASSERT_EQ(gain, 1.0f);
}

TEST_F(StereoFilePlayerFades, FadeOutStepsDownToSilenceAndRefillsFollow) {
  auto player = makePlayer(fileOf(48000 * 10));
  player->play(0);
  std::vector<float> volumes;
  clock.setHook([&](auto) { volumes.push_back(player->volume()); });
  player->fadeOut(1.0);
  EXPECT_EQ(clock.sleeps(), std::vector<std::chrono::microseconds>(20, 50ms));
  // Each hook sees the gain set by the step before it.
  ASSERT_EQ(volumes.size(), 20u);
  EXPECT_EQ(volumes[0], 1.0f);
  EXPECT_FLOAT_EQ(volumes[1], 0.95f);
  EXPECT_FLOAT_EQ(volumes[10], 0.5f);
  EXPECT_FLOAT_EQ(volumes[19], 0.05f);
  EXPECT_EQ(player->volume(), 0.0f);
  // The frames filled from the start of the fade on step down over its length (48000 frames
  // after the 12288 primed ones) as the gain does: 1/20 lower at the end of each step of 2400
  // frames, silent from the end of the 20th.
  queue()->playAll(20);
  const auto gains = gainsOf(queue()->queuedHistory());
  ASSERT_GT(gains.size(), 12288u + 48000u + 4096u);
  EXPECT_EQ(gains[12287], 1.0f);
  EXPECT_EQ(gains[12288], 1.0f);
  EXPECT_EQ(gains[12288 + 2399], 1.0f);
  EXPECT_FLOAT_EQ(gains[12288 + 2400], 0.95f);
  EXPECT_FLOAT_EQ(gains[12288 + 24000], 0.5f);
  EXPECT_FLOAT_EQ(gains[12288 + 45600], 0.05f);
  EXPECT_FLOAT_EQ(gains[12288 + 47999], 0.05f);
  EXPECT_EQ(gains[12288 + 48000], 0.0f);
  EXPECT_EQ(gains.back(), 0.0f);
  EXPECT_TRUE(player->isPlaying());
}

TEST_F(StereoFilePlayerFades, FadeOutLongerThanTheWholeFileKeepsItsLength) {
  // 5 s asked on a 3 s file: the level falls at the asked pace and the file ends before silence.
  auto player = makePlayer(fileOf(48000 * 3));
  player->play(0);
  player->fadeOut(5.0);
  queue()->playAll();
  const auto gains = gainsOf(queue()->queuedHistory());
  ASSERT_EQ(gains.size(), 48000u * 3);
  EXPECT_EQ(gains[12288], 1.0f);
  EXPECT_FLOAT_EQ(gains[12288 + 12000], 0.95f);  // steps of 12000 frames
  for (std::size_t i = 12289; i < gains.size(); ++i) ASSERT_LE(gains[i], gains[i - 1]);
  EXPECT_FLOAT_EQ(gains.back(), 0.5f);
}

TEST_F(StereoFilePlayerFades, FadeOutTimedToTheEndReachesSilenceAtTheLastFrame) {
  // Frames are filled ahead of what is heard, so a fade asked as long as what is left to hear
  // would run past the last frame: it is fitted to end there, in silence.
  auto player = makePlayer(fileOf(48000 * 3));
  player->play(0);
  player->fadeOut(2.9);
  queue()->playAll();
  const auto gains = gainsOf(queue()->queuedHistory());
  ASSERT_EQ(gains.size(), 48000u * 3);
  EXPECT_EQ(gains[12288], 1.0f);
  for (std::size_t i = 12289; i < gains.size(); ++i) ASSERT_LE(gains[i], gains[i - 1]);
  // The 20th step sounds to the last frame but one; the last is the end of it, in silence.
  EXPECT_FLOAT_EQ(gains[gains.size() - 2], 0.05f);
  EXPECT_EQ(gains.back(), 0.0f);
}

TEST_F(StereoFilePlayerFades, FadeOutStartsFromTheGainInForce) {
  auto player = makePlayer(fileOf(48000 * 10));
  player->play(0);
  // Half way through one fade-out (gain 0.5), a second one runs on top of it.
  int steps = 0;
  bool nested = false;
  std::vector<float> volumes;
  clock.setHook([&](auto) {
    ++steps;
    if (nested) {
      volumes.push_back(player->volume());
    } else if (steps == 11) {
      nested = true;
      player->fadeOut(1.0);
      nested = false;
    }
  });
  player->fadeOut(2.0);
  ASSERT_EQ(volumes.size(), 20u);
  EXPECT_FLOAT_EQ(volumes[0], 0.5f);
  EXPECT_FLOAT_EQ(volumes[1], 0.475f);
  EXPECT_FLOAT_EQ(volumes[19], 0.025f);
}

TEST_F(StereoFilePlayerFades, StopEndsEitherFadeAfterOneStep) {
  auto player = makePlayer(fileOf(48000 * 10));
  clock.setHook([&](auto) { player->stop(); });
  player->play(2.0);
  EXPECT_EQ(clock.sleeps().size(), 1u);
  EXPECT_FALSE(player->isPlaying());

  auto second = makePlayer(fileOf(48000 * 10));
  second->play(0);
  clock.setHook([&](auto) { second->stop(); });
  second->fadeOut(1.0);
  EXPECT_EQ(clock.sleeps().size(), 2u);
  EXPECT_EQ(second->volume(), 1.0f);
}

TEST_F(StereoFilePlayerFades, NonPositiveFadeOutDoesNothing) {
  auto player = makePlayer(fileOf(48000));
  player->play(0);
  player->fadeOut(0);
  player->fadeOut(-1);
  EXPECT_TRUE(clock.sleeps().empty());
  EXPECT_EQ(player->volume(), 1.0f);
}

using StereoFilePlayerLifecycle = PlayerTest;

TEST_F(StereoFilePlayerLifecycle, PlayFailuresCarryTheirStatus) {
  FakeQueueScript script;
  script.results[QueueCall::start] = {-66681};
  output.setScript(script);
  auto player = makePlayer(fileOf(48000));
  try {
    player->play(0);
    FAIL() << "played";
  } catch (const PlayerError& error) {
    EXPECT_EQ(error.description(), "AudioQueueStart failed (-66681).");
  }

  script = {};
  script.results[QueueCall::enqueue] = {0, -50};
  output.setScript(script);
  auto second = makePlayer(fileOf(48000));
  try {
    second->play(0);
    FAIL() << "played";
  } catch (const PlayerError& error) {
    EXPECT_EQ(error.description(), "AudioQueueEnqueueBuffer failed (-50).");
  }
}

TEST_F(StereoFilePlayerLifecycle, StopBeforePlayLeavesNothingToStart) {
  auto player = makePlayer(fileOf(48000));
  player->stop();
  EXPECT_NO_THROW(player->play(1.0));
  EXPECT_EQ(queue()->count("start"), 0u);
  EXPECT_FALSE(player->isPlaying());
  EXPECT_TRUE(clock.sleeps().empty());
}

TEST_F(StereoFilePlayerLifecycle, FailedRefillEndsPlaybackWithItsReason) {
  FakeFileScript script = fileOf(48000 * 10);
  script.readFailures[5] = -39;
  auto player = makePlayer(script);
  const std::string constructionLines = err.text();
  player->play(0);
  EXPECT_TRUE(queue()->playNext());
  EXPECT_TRUE(player->isPlaying());
  EXPECT_TRUE(queue()->playNext());
  EXPECT_TRUE(queue()->playNext());
  EXPECT_FALSE(player->isPlaying());
  EXPECT_EQ(player->failure(), "Unable to read the audio file further (-39).");
  // Nothing more is read after the failure, and the player itself writes nothing.
  const int reads = files.record().reads;
  EXPECT_TRUE(queue()->playNext());
  EXPECT_EQ(files.record().reads, reads);
  EXPECT_EQ(err.text(), constructionLines);

  // The reader's own words, kept to one bounded line.
  script.readFailures = {{3, -39}};
  script.readFailureText = "System error :\nInput/output error." + std::string(300, 'x');
  auto worded = makePlayer(script);
  worded->play(0);
  EXPECT_TRUE(queue()->playNext());
  EXPECT_EQ(worded->failure(),
            "Unable to read the audio file further (System error : Input/output "
            "error." +
                std::string(200 - 35, 'x') + "\xE2\x80\xA6).");

  FakeQueueScript refusing;
  refusing.results[QueueCall::enqueue] = {0, 0, 0, 1718449215};
  output.setScript(refusing);
  auto second = makePlayer(fileOf(48000 * 10));
  second->play(0);
  EXPECT_EQ(second->failure(), "");
  EXPECT_TRUE(queue()->playNext());
  EXPECT_FALSE(second->isPlaying());
  EXPECT_EQ(second->failure(), "Audio output stopped before the announcement ended.");
}

TEST_F(StereoFilePlayerLifecycle, StopTwiceReleasesOnceQueueBeforeFile) {
  auto player = makePlayer(fileOf(48000 * 10));
  player->play(0);
  player->stop();
  player->stop();
  const auto calls = queue()->calls();
  EXPECT_EQ(queue()->count("dispose"), 1u);
  EXPECT_EQ(calls.back(), "dispose");
  EXPECT_EQ(calls[calls.size() - 2], "stop immediate");
  EXPECT_EQ(files.record().disposed, 1);
  EXPECT_FALSE(player->isPlaying());
  EXPECT_FALSE(queue()->playNext());
}

TEST_F(StereoFilePlayerLifecycle, StopFromTwoThreadsWhilePlaying) {
  for (int round = 0; round < 20; ++round) {
    auto player = makePlayer(fileOf(48000 * 60));
    player->play(0);
    auto core = queue();
    core->startAutoPlay(0us);
    std::thread first([&] { player->stop(); });
    std::thread second([&] { player->stop(); });
    while (player->isPlaying()) std::this_thread::yield();
    first.join();
    second.join();
    core->stopAutoPlay();
    EXPECT_EQ(core->count("dispose"), 1u);
    EXPECT_FALSE(player->isPlaying());
  }
  EXPECT_EQ(files.record().disposed, 20);
  EXPECT_EQ(files.record().open, 0);
}

TEST_F(StereoFilePlayerLifecycle, StopWaitsForARefillInProgressBeforeClosingTheFile) {
  auto player = makePlayer(fileOf(48000 * 10));
  player->play(0);
  auto core = queue();
  core->holdCallbacks(true);
  std::thread callback([&] { core->playNext(); });
  ASSERT_TRUE(core->waitForCallbackInProgress(5s));
  std::thread stopper([&] { player->stop(); });
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(files.record().open, 1);
  core->holdCallbacks(false);
  callback.join();
  stopper.join();
  EXPECT_EQ(files.record().open, 0);
  EXPECT_EQ(core->count("dispose"), 1u);
}

}  // namespace
}  // namespace vellory::testing
