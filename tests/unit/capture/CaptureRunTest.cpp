#include <gtest/gtest.h>

#include <algorithm>

#include "CaptureTestSupport.hpp"
#include "capture/CaptureAccess.hpp"
#include "capture/CaptureRun.hpp"
#include "capture/ProcessInventory.hpp"
#include "fakes/FakeHardware.hpp"

namespace vellory::capture {
namespace {

using testing::FakeHardware;

class CaptureRunTest : public ::testing::Test {
 protected:
  CaptureRunTest() {
    hardware.addProcess(10, 100, "com.apple.Safari", true);
    hardware.addProcess(11, 101, "com.apple.Music", true);
  }

  std::vector<ProcessInfo> inventory() {
    StringSink ignored;
    CoreAudioAccess reader(hardware, captureAccess());
    return processes(reader, ignored);
  }

  void removeProcess(AudioObjectID id) {
    auto& list = hardware.lists[selector::processObjectList];
    list.erase(std::find(list.begin(), list.end(), id));
  }

  // Runs the capture for `ticks` ticks, calling `beforeTick(n)` before tick n.
  void run(int ticks, std::function<void(int)> beforeTick = {}) {
    testing::ScriptedStop stop(clock, ticks);
    stop.onWait = std::move(beforeTick);
    CaptureRunContext context{access, {out, err}, clock, stop, [&] { ++installs; }};
    runCapture(RunOptions{{"com.apple.Safari", "org.videolan.vlc", "com.apple.Music"}, liveInput},
               inventory(), context);
    deadlines = stop.deadlines;
  }

  std::vector<std::pair<AudioObjectID, std::vector<AudioObjectID>>> writes() const {
    std::vector<std::pair<AudioObjectID, std::vector<AudioObjectID>>> result;
    for (const auto& [tap, description] : hardware.descriptionWrites) {
      result.emplace_back(tap, description.processes);
    }
    return result;
  }

  // The platform of a Mac: taps that may deliver only zeros, and a host reading the device.
  void refusableTapsReadByTheHost() {
    hardware.tapsRefusable = true;
    hardware.hostReaders = 1;
  }

  std::vector<TapDescription> descriptionsWritten() const {
    std::vector<TapDescription> result;
    for (const auto& [tap, description] : hardware.descriptionWrites) result.push_back(description);
    return result;
  }

  std::size_t logIndex(const std::string& entry) const {
    return static_cast<std::size_t>(std::find(hardware.log.begin(), hardware.log.end(), entry) -
                                    hardware.log.begin());
  }

  FakeHardware hardware;
  CoreAudioAccess access{hardware, captureAccess()};
  testing::FakeClock clock;
  StringSink out;
  StringSink err;
  int installs = 0;
  std::optional<std::string> liveInput;
  std::vector<std::chrono::steady_clock::duration> deadlines;
};

TEST_F(CaptureRunTest, PrintsTheReportOnceAndTearsDownOnStop) {
  run(3);
  const auto report = nlohmann::json::parse(out.text());
  EXPECT_EQ(report["channels"], 6);
  EXPECT_EQ(out.text().back(), '\n');
  EXPECT_EQ(out.text().find("}\n{"), std::string::npos);
  EXPECT_EQ(installs, 1);
  EXPECT_TRUE(hardware.descriptionWrites.empty());
  EXPECT_TRUE(hardware.liveTaps().empty());
  EXPECT_EQ(hardware.lists[selector::devices].size(), 0u);
  EXPECT_EQ(deadlines.size(), 4u);
  for (const auto& d : deadlines) EXPECT_EQ(d, std::chrono::seconds(1));
  EXPECT_EQ(err.text(), "");
}

TEST_F(CaptureRunTest, ReorderingAndRunningFlagsCauseNoWrite) {
  run(2, [&](int tick) {
    if (tick == 1) {
      hardware.lists[selector::processObjectList] = {11, 10};
      hardware.setValue<std::uint32_t>(10, selector::processIsRunning, 0);
    }
  });
  EXPECT_TRUE(hardware.descriptionWrites.empty());
}

TEST_F(CaptureRunTest, NewAndQuitProcessesRepointOnlyTheirSlot) {
  std::vector<AudioObjectID> taps;
  run(4, [&](int tick) {
    if (tick == 1) hardware.addProcess(20, 200, "org.videolan.vlc.helper", true);
    if (tick == 2) hardware.addProcess(5, 205, "org.videolan.vlc", false);
    if (tick == 3) removeProcess(10);
    if (taps.empty()) taps = hardware.liveTaps();
  });
  ASSERT_EQ(taps.size(), 3u);
  EXPECT_EQ(writes(), (std::vector<std::pair<AudioObjectID, std::vector<AudioObjectID>>>{
                          {taps[1], {20}},
                          {taps[1], {20, 5}},
                          {taps[0], {}},
                      }));
  EXPECT_EQ(hardware.descriptionWrites[0].second.name, "Kandimer application slot 2");
  EXPECT_EQ(hardware.descriptionWrites[2].second.name, "Kandimer application slot 1");
  EXPECT_EQ(hardware.descriptionWrites[0].second.muteBehavior, TapMuteBehavior::mutedWhenTapped);
}

TEST_F(CaptureRunTest, RewrittenDescriptionsKeepTheIdentityOfTheirTap) {
  using Continuity = AudioHardware::Continuity;
  // A write, then the server restarts and the capture is rebuilt with new taps, then a write to
  // one of those.
  hardware.continuities = {Continuity::intact, Continuity::lost, Continuity::restarted,
                           Continuity::intact};
  std::vector<AudioObjectID> firstTaps;
  run(5, [&](int tick) {
    if (tick == 1) hardware.addProcess(20, 200, "org.videolan.vlc", true);
    if (tick == 2) firstTaps = hardware.liveTaps();
    if (tick == 4) removeProcess(10);
  });
  ASSERT_EQ(hardware.descriptionWrites.size(), 2u);
  EXPECT_EQ(hardware.descriptionWrites[0].first, firstTaps.at(1));
  EXPECT_GT(hardware.descriptionWrites[1].first, firstTaps.back()) << "a rebuilt tap";
  for (const auto& [tap, description] : hardware.descriptionWrites) {
    EXPECT_EQ(description.uid, "tap-" + std::to_string(tap));
  }
  // New taps get the UID the platform chooses.
  for (const auto& created : hardware.createdTaps) EXPECT_FALSE(created.uid);
}

TEST_F(CaptureRunTest, UnreadableInventoryKeepsTheTapsAndAFailedWriteIsNotRetried) {
  run(4, [&](int tick) {
    if (tick == 1) {
      hardware.sizeFailures[FakeHardware::key(1, selector::processObjectList)] = -1;
      removeProcess(10);
    }
    if (tick == 2) {
      hardware.sizeFailures.clear();
      const auto taps = hardware.liveTaps();
      hardware.readFailures[FakeHardware::key(taps[0], selector::tapDescription)] = -50;
    }
  });
  ASSERT_EQ(hardware.descriptionWrites.size(), 1u);
  EXPECT_TRUE(hardware.descriptionWrites[0].second.processes.empty());
  EXPECT_EQ(err.text(), "");
}

TEST_F(CaptureRunTest, FailedStartUndoesEverythingAndPrintsNothing) {
  hardware.createAggregateResults = {1, 1, 1, 1};
  testing::ScriptedStop stop(clock, 3);  // no stop during the three pauses between attempts
  CaptureRunContext context{access, {out, err}, clock, stop, [&] { ++installs; }};
  EXPECT_THROW(runCapture(RunOptions{{"a", "b"}, {}}, inventory(), context), ToolError);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(installs, 1);
  EXPECT_TRUE(hardware.liveTaps().empty());
}

TEST_F(CaptureRunTest, StopDuringTheBuildTearsDownWithoutAReport) {
  testing::ScriptedStop stop(clock, 0);
  CaptureRunContext context{access, {out, err}, clock, stop, [&] {
                              ++installs;
                              stop.request();
                            }};
  runCapture(RunOptions{{"com.apple.Safari", "com.apple.Music"}, {}}, inventory(), context);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(hardware.aggregateAttempts.size(), 1u);
  EXPECT_TRUE(hardware.liveTaps().empty());
  EXPECT_TRUE(hardware.lists[selector::devices].empty());
}

TEST_F(CaptureRunTest, StopBetweenAggregateAttemptsEndsThemAtOnceWithoutAFailure) {
  hardware.createAggregateResults = {-1, -2, -3, -4};
  testing::ScriptedStop stop(clock, 1);  // the first pause runs out, the second is cut short
  CaptureRunContext context{access, {out, err}, clock, stop, [&] { ++installs; }};
  runCapture(RunOptions{{"com.apple.Safari", "com.apple.Music"}, {}}, inventory(), context);
  EXPECT_EQ(hardware.aggregateAttempts.size(), 2u);
  ASSERT_EQ(stop.deadlines.size(), 2u);
  EXPECT_EQ(stop.deadlines[0], std::chrono::milliseconds(250));
  EXPECT_EQ(stop.deadlines[1], std::chrono::milliseconds(500));
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(err.text(), "");
  EXPECT_TRUE(hardware.liveTaps().empty());
  EXPECT_TRUE(hardware.lists[selector::devices].empty());
}

TEST_F(CaptureRunTest, CaptureLostWithTheServerIsRebuiltOnceItAnswersAgain) {
  using Continuity = AudioHardware::Continuity;
  hardware.continuities = {Continuity::intact, Continuity::lost, Continuity::lost,
                           Continuity::restarted, Continuity::intact};
  run(6);
  // Two taps and a device at start, the same again after the restart; none of the lost ones
  // is destroyed (their IDs name nothing now), the rebuilt ones are at the end.
  ASSERT_EQ(hardware.aggregateAttempts.size(), 2u);
  EXPECT_EQ(hardware.aggregateAttempts[1].text(aggregateKey::uid),
            hardware.aggregateAttempts[0].text(aggregateKey::uid));
  EXPECT_EQ(hardware.aggregateAttempts[1].list(aggregateKey::tapList).size(), 3u);
  EXPECT_EQ(hardware.createdTaps.size(), 6u);
  EXPECT_EQ(hardware.destroyedTaps.size(), 3u);
  for (const AudioObjectID tap : hardware.destroyedTaps) EXPECT_GE(tap, 1004u);
  EXPECT_TRUE(hardware.liveTaps().empty());
  EXPECT_TRUE(hardware.lists[selector::devices].empty());
  EXPECT_EQ(err.text(),
            "[process-tap] Lost the sound server; the capture device is gone until it answers "
            "again.\n"
            "[process-tap] The sound server answers again; the capture device is back.\n");
  // Once a second, every half second while the capture is lost, then once a second again.
  using std::chrono::milliseconds;
  const std::vector<std::chrono::steady_clock::duration> expected{
      milliseconds(1000), milliseconds(1000), milliseconds(500), milliseconds(500),
      milliseconds(1000), milliseconds(1000), milliseconds(1000)};
  EXPECT_EQ(deadlines, expected);
  EXPECT_EQ(nlohmann::json::parse(out.text())["channels"], 6) << "one report only";
}

TEST_F(CaptureRunTest, PadLineIsOneTaggedLineWrittenOncePerRun) {
  using Continuity = AudioHardware::Continuity;
  hardware.addDevice(70, "mic-uid", "Mic", {1}, {});
  liveInput = "Mic\n";
  hardware.continuities = {Continuity::restarted};
  // The first rebuild fails after its pad step, the next one succeeds.
  run(8, [&](int wait) {
    if (wait == 1) hardware.createAggregateResults = {1, 1, 1, 1};
  });
  ASSERT_EQ(hardware.aggregateAttempts.size(), 6u);
  EXPECT_EQ(err.text(),
            "[process-tap] Padding 1ch live 'Mic ' to 2ch with silent mono tap.\n"
            "[process-tap] Lost the sound server; the capture device is gone until it answers "
            "again.\n"
            "[process-tap] The sound server answers again; the capture device is back.\n");
}

TEST_F(CaptureRunTest, AHelperOfASlotsApplicationIsTakenInTheReportAndByTheRefresh) {
  hardware.addProcess(12, 102, "com.apple.WebKit.GPU", true);
  hardware.responsible[102] = {100, "com.apple.Safari"};
  std::vector<AudioObjectID> taps;
  run(2, [&](int tick) {
    taps = hardware.liveTaps();
    if (tick != 1) return;
    // Mail's helper and a second helper of Safari's, started during the run.
    hardware.addProcess(13, 103, "com.apple.WebKit.GPU", true);
    hardware.responsible[103] = {500, "com.apple.mail"};
    hardware.addProcess(14, 104, "com.apple.WebKit.GPU", true);
    hardware.responsible[104] = {100, "com.apple.Safari"};
  });
  const auto report = nlohmann::json::parse(out.text());
  EXPECT_EQ(report["slots"][0]["processes"], nlohmann::json::parse(R"([
              {"bundleID": "com.apple.Safari", "objectID": 10, "pid": 100, "running": true},
              {"bundleID": "com.apple.WebKit.GPU", "objectID": 12, "pid": 102, "running": true}
            ])"));
  EXPECT_EQ(writes(), (std::vector<std::pair<AudioObjectID, std::vector<AudioObjectID>>>{
                          {taps.at(0), {10, 12, 14}}}));
}

TEST_F(CaptureRunTest, WhereTapsCannotBeRefusedNothingIsEverRead) {
  hardware.hostReaders = 1;
  run(6);
  EXPECT_TRUE(hardware.peakReadsStarted.empty());
  for (const auto& d : deadlines) EXPECT_EQ(d, std::chrono::seconds(1));
  EXPECT_TRUE(hardware.descriptionWrites.empty());
}

TEST_F(CaptureRunTest, SilenceWhileApplicationsPlayChangesNothingBeforeTwoSeconds) {
  refusableTapsReadByTheHost();
  run(8);  // looks every 250 ms; the reading begins at the first, 1.75 s of silence by the 8th
  EXPECT_EQ(hardware.peakReadsStarted.size(), 1u);
  EXPECT_TRUE(hardware.descriptionWrites.empty());
  EXPECT_EQ(err.text(), "");
  EXPECT_EQ(hardware.peakReaders, 0);
}

TEST_F(CaptureRunTest, TwoSecondsOfSilenceWhileApplicationsPlayUnmuteEverySlotTap) {
  refusableTapsReadByTheHost();
  std::vector<TapDescription> created;
  run(9, [&](int) { created = hardware.createdTaps; });
  EXPECT_EQ(err.text(),
            "[process-tap] The taps deliver only silence while the applications play: the host "
            "application may not hold the permission to record system audio (System Settings, "
            "Privacy & Security, Screen & System Audio Recording). The applications stay audible "
            "until capture works.\n");
  // Every slot tap rewritten unmuted: the same taps, UIDs and processes.
  const auto taps = hardware.destroyedTaps;  // slot taps, last first
  ASSERT_EQ(hardware.descriptionWrites.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& [tap, description] = hardware.descriptionWrites[i];
    EXPECT_EQ(tap, taps.at(2 - i));
    TapDescription expected = created.at(i);
    expected.uid = "tap-" + std::to_string(tap);
    expected.muteBehavior = TapMuteBehavior::unmuted;
    EXPECT_EQ(description, expected);
  }
  // Reading on until the stop, which ends it before the device goes.
  EXPECT_EQ(hardware.peakReadsStarted.size(), 1u);
  EXPECT_EQ(hardware.peakReaders, 0);
  EXPECT_LT(logIndex("endPeaks " + std::to_string(hardware.peakReadsStarted[0])),
            logIndex("destroyAggregate " + std::to_string(hardware.peakReadsStarted[0])));
}

TEST_F(CaptureRunTest, TheFirstSoundAfterTheUnmuteRestoresMutingAndEndsTheReading) {
  refusableTapsReadByTheHost();
  int readersAfterTheSound = -1;
  run(20, [&](int wait) {
    if (wait == 11) hardware.devicePeaks = {0, 0, 0, 0, 0.25f, 0};  // the announcement slot
    if (wait == 12) readersAfterTheSound = hardware.peakReaders;
  });
  ASSERT_EQ(hardware.descriptionWrites.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(hardware.descriptionWrites[i].second.muteBehavior,
              i < 3 ? TapMuteBehavior::unmuted : TapMuteBehavior::mutedWhenTapped);
    EXPECT_EQ(hardware.descriptionWrites[i].second.processes,
              hardware.descriptionWrites[i % 3].second.processes);
  }
  EXPECT_NE(err.text().find("\n[process-tap] Capture now works: the taps deliver the "
                            "applications' audio, and the applications are muted on their "
                            "outputs again while the device is read.\n"),
            std::string::npos);
  const std::string lines = err.text();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2);
  // The reading ended at that look and never began again, nine looks later.
  EXPECT_EQ(hardware.peakReadsStarted.size(), 1u);
  EXPECT_EQ(readersAfterTheSound, 0) << "ended at the first sound, not at the stop";
}

TEST_F(CaptureRunTest, NoReadingOnceATapHasDelivered) {
  refusableTapsReadByTheHost();
  hardware.devicePeaks = {0.5f, 0.5f};
  run(16, [&](int wait) {
    if (wait == 8) hardware.devicePeaks = {};  // silence from then on: nothing is read any more
  });
  EXPECT_EQ(hardware.peakReadsStarted.size(), 1u);
  EXPECT_EQ(logIndex("endPeaks " + std::to_string(hardware.peakReadsStarted[0])),
            logIndex("readPeaks " + std::to_string(hardware.peakReadsStarted[0])) + 1);
  EXPECT_TRUE(hardware.descriptionWrites.empty());
  EXPECT_EQ(err.text(), "");
  ASSERT_GT(deadlines.size(), 4u);
  EXPECT_EQ(deadlines[2], std::chrono::milliseconds(500)) << "to the tick at 1 s";
  for (std::size_t i = 3; i < deadlines.size(); ++i) {
    EXPECT_EQ(deadlines[i], std::chrono::seconds(1)) << "back to one tick a second";
  }
}

TEST_F(CaptureRunTest, NothingIsReadWhileNobodyReadsTheDeviceOrNothingTappedPlays) {
  hardware.tapsRefusable = true;
  run(6, [&](int wait) {
    if (wait == 3) {
      hardware.hostReaders = 1;
      hardware.setValue<std::uint32_t>(10, selector::processIsRunningOutput, 0);
      hardware.setValue<std::uint32_t>(11, selector::processIsRunningOutput, 0);
    }
  });
  EXPECT_TRUE(hardware.peakReadsStarted.empty());
  // A process that plays but is in no slot does not count either.
  hardware.addProcess(30, 300, "org.example.other", true);
  run(6);
  EXPECT_TRUE(hardware.peakReadsStarted.empty());
}

TEST_F(CaptureRunTest, PlayingThatStopsBeforeTwoSecondsEndsTheReadingWithoutAChange) {
  refusableTapsReadByTheHost();
  auto playing = [&](std::uint32_t flag) {
    hardware.setValue<std::uint32_t>(10, selector::processIsRunningOutput, flag);
    hardware.setValue<std::uint32_t>(11, selector::processIsRunningOutput, flag);
  };
  run(13, [&](int wait) {
    if (wait == 4) playing(0);  // at 1.0 s, 0.75 s into the reading
    if (wait == 6) playing(1);  // a new reading at 1.5 s, 1.75 s of it by the 13th look
  });
  EXPECT_EQ(hardware.peakReadsStarted.size(), 2u);
  EXPECT_TRUE(hardware.descriptionWrites.empty());
  EXPECT_EQ(hardware.peakReaders, 0);
}

TEST_F(CaptureRunTest, TheLiveInputDoesNotCountAsDelivered) {
  refusableTapsReadByTheHost();
  hardware.addDevice(70, "mic-uid", "Mic", {1}, {});
  liveInput = "Mic";
  hardware.devicePeaks = {0.5f, 0, 0, 0, 0, 0, 0, 0};  // the microphone only
  run(9);
  EXPECT_EQ(hardware.descriptionWrites.size(), 3u) << "the pad is not rewritten";
  EXPECT_NE(err.text().find("The taps deliver only silence"), std::string::npos);
}

TEST_F(CaptureRunTest, TheRefreshKeepsTheTapsUnmuted) {
  refusableTapsReadByTheHost();
  run(12, [&](int wait) {
    if (wait == 10) hardware.addProcess(20, 200, "org.videolan.vlc", true);
  });
  ASSERT_EQ(hardware.descriptionWrites.size(), 4u);
  EXPECT_EQ(hardware.descriptionWrites[3].second.processes, (std::vector<AudioObjectID>{20}));
  EXPECT_EQ(hardware.descriptionWrites[3].second.muteBehavior, TapMuteBehavior::unmuted);
}

TEST_F(CaptureRunTest, UnwritableReportUndoesTheCapture) {
  testing::ScriptedStop stop(clock, 5);
  out.failWrites = true;
  CaptureRunContext context{access, {out, err}, clock, stop, [&] { ++installs; }};
  EXPECT_THROW(runCapture(RunOptions{{"a", "b"}, {}}, inventory(), context), std::runtime_error);
  EXPECT_TRUE(hardware.liveTaps().empty());
  EXPECT_TRUE(hardware.lists[selector::devices].empty());
}

}  // namespace
}  // namespace vellory::capture
