#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "announcement/AnnouncementTool.hpp"
#include "unit/announcement/PlayerTestSupport.hpp"

namespace vellory::testing {
namespace {

using namespace std::chrono_literals;
using announcement::runAnnouncementPlayer;

const std::string usage =
    "[announcement-player] Usage: vellory-announcement-player --file <absolute.wav> "
    "[--source-slot N]\n";

class AnnouncementTool : public PlayerTest {
 protected:
  AnnouncementTool() {
    clock.setHook([this](std::chrono::microseconds) { listen(clock.elapsed()); });
  }

  int run(std::vector<std::string> args) {
    return runAnnouncementPlayer(
        args, platform(), {out, err},
        [this](std::function<void()> stop) {
          installedAt = clock.elapsed();
          startedBeforeInstall = queue() && queue()->count("start") > 0;
          stopHandler = std::move(stop);
          if (signalAtInstall) stopHandler();
        },
        logPath);
  }

  // Hands buffers back as fast as a listener would hear them, and delivers the scripted signal.
  void listen(std::chrono::microseconds elapsed) {
    if (signalAt && elapsed >= *signalAt && stopHandler) {
      signalAt.reset();
      signalledAt = elapsed;
      stopHandler();
    }
    const auto core = queue();
    if (!core || !core->running()) return;
    if (!startedAt) startedAt = elapsed;
    while (core->queuedNow() > 0 && elapsed - *startedAt >= heard) {
      core->playNext();
      heard += std::chrono::microseconds(4096 * 1'000'000LL / 48000);
    }
  }

  // Elapsed time before the first sleep of the given length after `from`.
  std::optional<std::chrono::microseconds> firstSleepOf(std::chrono::microseconds length,
                                                        std::chrono::microseconds from = {}) {
    std::chrono::microseconds sum{};
    for (const auto sleep : clock.sleeps()) {
      if (sleep == length && sum >= from) return sum;
      sum += sleep;
    }
    return std::nullopt;
  }

  StringSink out;
  std::function<void()> stopHandler;
  std::optional<std::chrono::microseconds> installedAt;
  bool startedBeforeInstall = false;
  bool signalAtInstall = false;
  std::optional<std::chrono::microseconds> signalAt;
  std::optional<std::chrono::microseconds> signalledAt;
  std::optional<std::chrono::microseconds> startedAt;
  std::chrono::microseconds heard{};
};

TEST_F(AnnouncementTool, UnusableCommandLinesPrintTheUsageWithoutTouchingAFile) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{},
                                             {"--file"},
                                             {"--file", "relative.wav"},
                                             {"--file", ""},
                                             {"--source-slot", "2", "--file"},
                                             {"--fade-in-ms", "100", "/a.wav"}}) {
    StringSink lines;
    const int status = runAnnouncementPlayer(
        args, platform(), {out, lines}, [](auto) {}, logPath);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(lines.text(), usage);
  }
  EXPECT_TRUE(files.record().openedPaths.empty());
  EXPECT_EQ(out.text(), "");
}

TEST_F(AnnouncementTool, UnopenableFileFailsWithItsStatus) {
  FakeFileScript script;
  script.openStatus = -43;
  files.setScript(script);
  EXPECT_EQ(run({"--file", "/missing.wav"}), 1);
  EXPECT_EQ(err.text(), "[announcement-player] Unable to open audio file (-43).\n");
  EXPECT_FALSE(installedAt);
}

TEST_F(AnnouncementTool, PlaysTheFirstFileToItsEndAfterThePrimedWait) {
  files.setScript(fileOf(48000 * 2));
  EXPECT_EQ(run({"--source-slot", "2", "--file", "/a.wav", "--file", "/b.wav", "--fade-in-ms",
                 "abc", "--fade-out-ms", "-300", "--whatever"}),
            0);
  EXPECT_EQ(files.record().openedPaths, std::vector<std::string>{"/a.wav"});
  EXPECT_EQ(installedAt, 1100ms);
  EXPECT_FALSE(startedBeforeInstall);
  // No fades: nothing but the primed wait and 50 ms polls.
  for (const auto sleep : clock.sleeps()) EXPECT_LE(sleep, 1100ms);
  EXPECT_FALSE(firstSleepOf(100ms));
  // The whole file is heard (2 s after the start) before the run ends, and no sooner.
  EXPECT_GE(clock.elapsed(), 1100ms + 2000ms);
  EXPECT_LE(clock.elapsed(), 1100ms + 2000ms + 200ms);
  EXPECT_EQ(queue()->count("stop playout"), 1u);
  EXPECT_TRUE(queue()->disposed());
  EXPECT_EQ(err.text(),
            "[announcement-player] Using output device 7 (Speakers)\n"
            "[announcement-player] first buffer Lmax=0.8 Rmax=0.8 frames=4096\n"
            "[announcement-player] AudioQueue stereo 2ch interleaved @ 48000 Hz\n");
  EXPECT_EQ(out.text(), "");
}

TEST_F(AnnouncementTool, FadeOutTimerCountsFromTheEndOfTheFadeIn) {
  files.setScript(fileOf(48000 * 10));
  EXPECT_EQ(run({"--file", "/a.wav", "--fade-out-ms", "2000"}), 0);
  // 20 steps of 0.1 s, the first one 8 s after the start.
  EXPECT_EQ(firstSleepOf(100ms), 1100ms + 8000ms);
  const auto sleeps = clock.sleeps();
  EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 100ms), 20);
}

TEST_F(AnnouncementTool, FadeInThenFadeOut) {
  files.setScript(fileOf(48000 * 3));
  // The fade-out only comes before the end when it is longer than the fade-in.
  EXPECT_EQ(run({"--file", "/a.wav", "--fade-in-ms", "500", "--fade-out-ms", "1400"}), 0);
  EXPECT_EQ(firstSleepOf(25ms), 1100ms);
  EXPECT_EQ(firstSleepOf(70ms), 1100ms + 500ms + 1600ms);
}

TEST_F(AnnouncementTool, FadeOutLongerThanTheFileStartsAtOnceAndRunsToItsEnd) {
  files.setScript(fileOf(48000 * 3));
  EXPECT_EQ(run({"--file", "/a.wav", "--fade-out-ms", "5000"}), 0);
  // Steps of 250 ms, slept in slices of at most 100 ms.
  EXPECT_EQ(firstSleepOf(100ms), 1100ms);
  EXPECT_GE(clock.elapsed(), 1100ms + 5000ms);
}

TEST_F(AnnouncementTool, SignalDuringAVeryLongFadeEndsTheRunWithinATenthOfASecond) {
  files.setScript(fileOf(48000 * 10));
  signalAt = 3000ms;
  EXPECT_EQ(run({"--file", "/a.wav", "--fade-out-ms", "9223372036854775807"}), 0);
  ASSERT_TRUE(signalledAt);
  EXPECT_LE(clock.elapsed(), *signalledAt + 100ms);
}

TEST_F(AnnouncementTool, SignalDuringPlaybackStopsAtOnceWithStatusZero) {
  files.setScript(fileOf(48000 * 10));
  signalAt = 3000ms;
  EXPECT_EQ(run({"--file", "/a.wav"}), 0);
  ASSERT_TRUE(signalledAt);
  EXPECT_LE(clock.elapsed(), *signalledAt + 50ms);
  EXPECT_EQ(queue()->count("stop playout"), 0u);
  EXPECT_EQ(queue()->count("stop immediate"), 1u);
  EXPECT_EQ(err.text().find("[announcement-player]", err.text().find("AudioQueue stereo")),
            std::string::npos);
}

TEST_F(AnnouncementTool, SignalDuringTheFadeInEndsItWithinAStep) {
  files.setScript(fileOf(48000 * 10));
  signalAt = 1100ms + 300ms;
  EXPECT_EQ(run({"--file", "/a.wav", "--fade-in-ms", "2000", "--fade-out-ms", "1000"}), 0);
  EXPECT_EQ(clock.elapsed(), 1100ms + 300ms);
}

TEST_F(AnnouncementTool, SignalBeforeThePlaybackStartsEndsWithStatusZero) {
  files.setScript(fileOf(48000 * 10));
  signalAtInstall = true;
  EXPECT_EQ(run({"--file", "/a.wav", "--fade-in-ms", "500"}), 0);
  EXPECT_EQ(queue()->count("start"), 0u);
  EXPECT_EQ(err.text().find("not available"), std::string::npos);
}

TEST_F(AnnouncementTool, EmptyFileEndsByItself) {
  files.setScript(fileOf(0));
  EXPECT_EQ(run({"--file", "/empty.wav"}), 0);
  EXPECT_LE(clock.elapsed(), 1100ms + 50ms);
}

TEST_F(AnnouncementTool, ReadFailureWhilePlayingStopsWithOneLineAndStatusOne) {
  FakeFileScript script = fileOf(48000 * 10);
  script.readFailures[6] = -39;
  files.setScript(script);
  EXPECT_EQ(run({"--file", "/a.wav"}), 1);
  EXPECT_LT(clock.elapsed(), 1100ms + 1000ms);
  const std::string text = err.text();
  const std::string line = "[announcement-player] Unable to read the audio file further (-39).\n";
  ASSERT_GE(text.size(), line.size());
  EXPECT_EQ(text.substr(text.size() - line.size()), line);
  EXPECT_EQ(text.find("[announcement-player]", text.find("interleaved @ ")),
            text.size() - line.size());
  EXPECT_TRUE(queue()->disposed());
}

TEST_F(AnnouncementTool, OutputThatStopsByItselfIsAFailure) {
  files.setScript(fileOf(48000 * 10));
  clock.setHook([this](std::chrono::microseconds) {
    listen(clock.elapsed());
    if (clock.elapsed() >= 3000ms && queue() && queue()->running()) queue()->loseOutput();
  });
  EXPECT_EQ(run({"--file", "/a.wav", "--fade-out-ms", "500"}), 1);
  EXPECT_LE(clock.elapsed(), 3000ms + 100ms);
  EXPECT_NE(err.text().find("[announcement-player] Audio output stopped before the announcement "
                            "ended.\n"),
            std::string::npos);
  EXPECT_TRUE(queue()->disposed());
}

TEST_F(AnnouncementTool, StartFailureIsReportedWithStatusOne) {
  files.setScript(fileOf(48000));
  FakeQueueScript script;
  script.results[QueueCall::start] = {-66681};
  output.setScript(script);
  EXPECT_EQ(run({"--file", "/a.wav"}), 1);
  EXPECT_NE(err.text().find("[announcement-player] AudioQueueStart failed (-66681).\n"),
            std::string::npos);
  EXPECT_TRUE(queue()->disposed());
}

}  // namespace
}  // namespace vellory::testing
