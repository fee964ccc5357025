#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CaptureTestSupport.hpp"
#include "capture/CaptureAccess.hpp"
#include "capture/TapError.hpp"
#include "capture/TapRuntime.hpp"
#include "fakes/FakeHardware.hpp"

namespace vellory::capture {
namespace {

using ::testing::StartsWith;

using std::chrono::microseconds;
using testing::FakeHardware;

class TapRuntimeTest : public ::testing::Test {
 protected:
  TapRuntimeTest() {
    hardware.addProcess(10, 100, "com.apple.Safari", true);
    hardware.addProcess(11, 101, "org.videolan.vlc", false);
    hardware.addProcess(12, 102, "com.apple.Safari.WebContent", true);
    hardware.addProcess(13, 103, "com.apple.Music", true);
    inventory = {{10, 100, "com.apple.Safari", true},
                 {11, 101, "org.videolan.vlc", false},
                 {12, 102, "com.apple.Safari.WebContent", true},
                 {13, 103, "com.apple.Music", true}};
  }

  FakeHardware hardware;
  CoreAudioAccess access{hardware, captureAccess()};
  testing::FakeClock clock;
  StringSink err;
  std::vector<ProcessInfo> inventory;
};

TEST_F(TapRuntimeTest, DefaultSlotsWithoutLiveInput) {
  TapRuntime runtime(
      access, clock, err,
      {"com.google.Chrome", "com.apple.Safari", "org.videolan.vlc", "com.apple.Music"},
      std::nullopt);
  const RuntimeInfo report = runtime.start(inventory);
  ASSERT_EQ(hardware.createdTaps.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    const auto& tap = hardware.createdTaps[static_cast<std::size_t>(i)];
    EXPECT_EQ(tap.name, "Kandimer application slot " + std::to_string(i + 1));
    EXPECT_FALSE(tap.mono);
    EXPECT_FALSE(tap.isPrivate);
    EXPECT_FALSE(tap.exclusive);
    EXPECT_TRUE(tap.mixdown);
    EXPECT_EQ(tap.muteBehavior, TapMuteBehavior::mutedWhenTapped);
  }
  EXPECT_TRUE(hardware.createdTaps[0].processes.empty());
  EXPECT_EQ(hardware.createdTaps[1].processes, (std::vector<AudioObjectID>{10, 12}));
  EXPECT_EQ(report.channels, 8u);
  EXPECT_EQ(report.applicationChannels, 6u);
  EXPECT_EQ(report.announcementChannels, 2u);
  EXPECT_EQ(report.liveInputChannels, 0u);
  EXPECT_FALSE(report.liveInputName);
  EXPECT_FALSE(report.liveInputUID);
  ASSERT_EQ(report.slots.size(), 4u);
  EXPECT_EQ(report.slots[3].slot, 4);
  EXPECT_EQ(report.slots[3].bundleID, "com.apple.Music");
  EXPECT_TRUE(report.slots[0].processes.empty());
  EXPECT_EQ(runtime.selectedProcessIDs,
            (std::vector<std::vector<AudioObjectID>>{{}, {10, 12}, {11}, {13}}));

  ASSERT_EQ(hardware.aggregateAttempts.size(), 1u);
  const auto& description = hardware.aggregateAttempts[0];
  EXPECT_EQ(description.entries.size(), 4u);
  EXPECT_EQ(description.text("name"), "Kandimer Application Capture");
  EXPECT_EQ(description.text("uid"), "com.vellory.application-capture");
  EXPECT_EQ(description.boolean("private"), false);
  EXPECT_FALSE(description.has("master"));
  EXPECT_FALSE(description.has("subdevices"));
  const DictionaryList taps = description.list("taps");
  ASSERT_EQ(taps.size(), 4u);
  EXPECT_EQ(entryText(taps[0], "uid"), "tap-" + std::to_string(runtime.tapIDs[0]));
  EXPECT_EQ(entryText(taps[3], "uid"), "tap-" + std::to_string(runtime.tapIDs[3]));
  EXPECT_EQ(report.aggregateObjectID, runtime.aggregateID);
  EXPECT_EQ(err.text(), "");
}

TEST_F(TapRuntimeTest, OnePrefixIsTheAnnouncementSlotOne) {
  hardware.tapSampleRate = 44100;
  TapRuntime runtime(access, clock, err, {"com.apple.Music|com.apple.Safari"}, std::nullopt);
  const RuntimeInfo report = runtime.start(inventory);
  EXPECT_EQ(report.applicationChannels, 0u);
  EXPECT_EQ(report.announcementChannels, 2u);
  EXPECT_EQ(report.channels, 2u);
  ASSERT_EQ(report.slots.size(), 1u);
  EXPECT_EQ(report.slots[0].slot, 1);
  EXPECT_EQ(report.slots[0].bundleID, "com.apple.Music|com.apple.Safari");
  EXPECT_EQ(report.slots[0].processes.size(), 3u);
  EXPECT_EQ(hardware.createdTaps[0].name, "Kandimer application slot 1");
  EXPECT_DOUBLE_EQ(report.sampleRate, 44100);
}

TEST_F(TapRuntimeTest, StaleDevicesGoFirstAndTheirFailureEndsStart) {
  hardware.addDevice(50, "com.vellory.application-capture", "old", {}, {2});
  {
    TapRuntime runtime(access, clock, err, {"a"}, std::nullopt);
    runtime.start(inventory);
    EXPECT_EQ(hardware.log.front(), "destroyAggregate 50");
  }
  hardware.addDevice(51, "com.vellory.application-capture", "old", {}, {2});
  hardware.destroyAggregateFailures[51] = status::illegalOperation;
  hardware.log.clear();
  TapRuntime runtime(access, clock, err, {"a"}, std::nullopt);
  try {
    runtime.start(inventory);
    FAIL();
  } catch (const TapError& error) {
    EXPECT_THAT(error.description(),
                StartsWith("Destroy stale aggregate device failed (OSStatus "));
  }
  EXPECT_EQ(hardware.log, (std::vector<std::string>{"destroyAggregate 51"}));
}

TEST_F(TapRuntimeTest, AggregateRetriesWithPausesAndStaleRemoval) {
  hardware.createAggregateResults = {status::illegalOperation, -50, 0};
  TapRuntime runtime(access, clock, err, {"a", "b"}, std::nullopt);
  const RuntimeInfo report = runtime.start(inventory);
  EXPECT_EQ(clock.sleeps(),
            (std::vector<microseconds>{microseconds(250000), microseconds(500000)}));
  EXPECT_EQ(hardware.aggregateAttempts.size(), 3u);
  EXPECT_EQ(hardware.aggregateAttempts[0], hardware.aggregateAttempts[2]);
  EXPECT_NE(report.aggregateObjectID, 0u);

  FakeHardware failing;
  CoreAudioAccess failingAccess(failing, captureAccess());
  testing::FakeClock failingClock;
  failing.createAggregateResults = {1, 2, 3, 4};
  TapRuntime doomed(failingAccess, failingClock, err, {"a", "b"}, std::nullopt);
  try {
    doomed.start({});
    FAIL();
  } catch (const TapError& error) {
    EXPECT_EQ(error.description(), "Create aggregate device failed (OSStatus 4, fourCC ----).");
  }
  EXPECT_EQ(failingClock.sleeps(),
            (std::vector<microseconds>{microseconds(250000), microseconds(500000),
                                       microseconds(750000)}));
  EXPECT_EQ(doomed.aggregateID, 0u);
}

TEST_F(TapRuntimeTest, EachRetryFirstRemovesALeftoverThatAppearedDuringItsPause) {
  hardware.createAggregateResults = {1, 2, 3, 0};
  AudioObjectID leftover = 60;
  // A leftover appears in every pause; the last one cannot be destroyed, which is ignored.
  clock.setHook([&](microseconds) {
    hardware.addDevice(leftover, "com.vellory.application-capture", "old", {}, {2});
    if (leftover == 62) hardware.destroyAggregateFailures[leftover] = status::illegalOperation;
    ++leftover;
  });
  TapRuntime runtime(access, clock, err, {"a"}, std::nullopt);
  const RuntimeInfo report = runtime.start(inventory);
  clock.setHook({});
  std::vector<std::string> aggregateCalls;
  for (const auto& entry : hardware.log) {
    if (entry.rfind("createAggregate", 0) == 0 || entry.rfind("destroyAggregate", 0) == 0) {
      aggregateCalls.push_back(entry);
    }
  }
  EXPECT_EQ(aggregateCalls,
            (std::vector<std::string>{"createAggregate", "destroyAggregate 60", "createAggregate",
                                      "destroyAggregate 61", "createAggregate",
                                      "destroyAggregate 62", "createAggregate"}));
  EXPECT_NE(report.aggregateObjectID, 0u);
}

TEST_F(TapRuntimeTest, TapFailuresNameTheirSlotAndPartialWorkIsUndone) {
  hardware.createTapResults = {0, status::illegalOperation};
  {
    TapRuntime runtime(access, clock, err, {"a", "b", "c"}, std::nullopt);
    try {
      runtime.start(inventory);
      FAIL();
    } catch (const TapError& error) {
      EXPECT_THAT(error.description(),
                  StartsWith("Create process tap for slot 2 failed (OSStatus "));
    }
  }
  EXPECT_TRUE(hardware.liveTaps().empty());

  hardware.createTapResults = {0, -50};
  {
    TapRuntime runtime(access, clock, err, {"a", "b"}, std::nullopt);
    try {
      runtime.start(inventory);
      FAIL();
    } catch (const TapError& error) {
      EXPECT_EQ(error.description(),
                "Create process tap for announcement failed (OSStatus -50, fourCC ----).");
    }
  }
  EXPECT_TRUE(hardware.liveTaps().empty());

  hardware.tapFormatReadable = false;
  {
    TapRuntime runtime(access, clock, err, {"a"}, std::nullopt);
    try {
      runtime.start(inventory);
      FAIL();
    } catch (const TapError& error) {
      EXPECT_THAT(error.description(), StartsWith("Read property 1952869748 failed (OSStatus "));
    }
  }
  EXPECT_TRUE(hardware.liveTaps().empty());
}

TEST_F(TapRuntimeTest, StopDestroysInOrderOnce) {
  hardware.addDevice(60, "mic", "Mic", {1}, {});
  TapRuntime runtime(access, clock, err, {"a", "b"}, "Mic");
  runtime.start(inventory);
  const auto pad = runtime.livePadTapID;
  const auto taps = runtime.tapIDs;
  const auto aggregate = runtime.aggregateID;
  hardware.log.clear();
  runtime.stop();
  runtime.stop();
  EXPECT_EQ(hardware.log, (std::vector<std::string>{"destroyAggregate " + std::to_string(aggregate),
                                                    "destroyTap " + std::to_string(taps[1]),
                                                    "destroyTap " + std::to_string(taps[0]),
                                                    "destroyTap " + std::to_string(pad)}));
  EXPECT_TRUE(hardware.liveTaps().empty());
}

struct LiveCase {
  std::vector<std::uint32_t> buffers;
  std::uint32_t liveChannels;
  bool pad;
};

TEST_F(TapRuntimeTest, LiveInputPadsOddChannelCounts) {
  for (const LiveCase& c :
       {LiveCase{{1}, 2, true}, LiveCase{{2}, 2, false}, LiveCase{{2, 1}, 4, true}}) {
    FakeHardware hw;
    hw.addDevice(70, "live-uid", "USB Mic", c.buffers, {});
    CoreAudioAccess liveAccess(hw, captureAccess());
    StringSink liveErr;
    TapRuntime runtime(liveAccess, clock, liveErr, {"a", "b"}, "  USB Mic\n");
    const RuntimeInfo report = runtime.start({});
    EXPECT_EQ(report.liveInputChannels, c.liveChannels);
    EXPECT_EQ(report.channels, c.liveChannels + 4);
    EXPECT_EQ(report.liveInputName, "  USB Mic\n");
    EXPECT_EQ(report.liveInputUID, "live-uid");
    const auto& description = hw.aggregateAttempts.at(0);
    EXPECT_EQ(description.text("master"), "live-uid");
    EXPECT_EQ(description.list("subdevices"), (DictionaryList{{{"uid", "live-uid"}}}));
    const auto taps = description.list("taps");
    if (c.pad) {
      const auto channels = c.liveChannels - 1;
      EXPECT_EQ(liveErr.text(), "[process-tap] Padding " + std::to_string(channels) +
                                    "ch live '  USB Mic ' to " + std::to_string(channels + 1) +
                                    "ch with silent mono tap.\n");
      ASSERT_EQ(taps.size(), 3u);
      EXPECT_EQ(entryText(taps[0], "uid"), "tap-" + std::to_string(runtime.livePadTapID));
      const TapDescription& padTap = hw.createdTaps[1];
      EXPECT_EQ(padTap.name, "Kandimer live channel pad");
      EXPECT_TRUE(padTap.mono);
      EXPECT_TRUE(padTap.processes.empty());
      EXPECT_EQ(padTap.muteBehavior, TapMuteBehavior::unmuted);
      EXPECT_EQ(hw.createdTaps[2].name, "Kandimer application slot 2");
    } else {
      EXPECT_EQ(liveErr.text(), "");
      EXPECT_EQ(taps.size(), 2u);
      EXPECT_EQ(runtime.livePadTapID, 0u);
    }
  }
}

TEST_F(TapRuntimeTest, WithALiveInputEveryTapIsResampledOntoItsClock) {
  for (const std::uint32_t channels : {1u, 2u}) {
    FakeHardware hw;
    hw.addDevice(70, "live-uid", "USB Mic", {channels}, {});
    CoreAudioAccess liveAccess(hw, captureAccess());
    StringSink liveErr;
    TapRuntime runtime(liveAccess, clock, liveErr, {"a", "b"}, "USB Mic");
    runtime.start({});
    const auto& description = hw.aggregateAttempts.at(0);
    const DictionaryList taps = description.list("taps");
    ASSERT_EQ(taps.size(), channels == 1 ? 3u : 2u);  // the pad tap too
    for (const auto& tap : taps) {
      EXPECT_EQ(entryNumber(tap, "drift"), 1);
      EXPECT_EQ(tap.size(), 2u);
    }
    // The live input drives the clock; it is not resampled.
    EXPECT_EQ(description.list("subdevices"), (DictionaryList{{{"uid", "live-uid"}}}));
  }
  for (const auto& liveInput : {std::optional<std::string>{}, std::optional<std::string>{"None"}}) {
    hardware.aggregateAttempts.clear();
    TapRuntime runtime(access, clock, err, {"a", "b"}, liveInput);
    runtime.start(inventory);
    const DictionaryList taps = hardware.aggregateAttempts.at(0).list("taps");
    ASSERT_EQ(taps.size(), 2u);
    for (const auto& tap : taps) EXPECT_EQ(tap.size(), 1u) << "the UID alone";
  }
}

TEST_F(TapRuntimeTest, LiveInputLookupRules) {
  hardware.addDevice(80, "out-uid", "Dup", {}, {2});
  hardware.addDevice(81, "unreadable", "", {2}, {});
  hardware.readFailures[FakeHardware::key(81, selector::objectName)] = -50;
  hardware.addDevice(82, "in-uid", "Dup", {2}, {});
  hardware.addDevice(83, "later", "Dup", {2}, {});
  EXPECT_EQ(findInputDevice(access, "Dup")->uid, "in-uid");
  EXPECT_EQ(findInputDevice(access, "Dup")->objectID, 82u);
  EXPECT_FALSE(findInputDevice(access, "dup"));
  EXPECT_EQ(findInputDevice(access, "\u00a0\u3000Dup\u2028\u0085\t")->uid, "in-uid");
  EXPECT_FALSE(findInputDevice(access, "\u00a0\u3000"));
  EXPECT_FALSE(findInputDevice(access, "Dup\u200b"));
  EXPECT_FALSE(findInputDevice(access, "Dup\xa0"));
  EXPECT_FALSE(findInputDevice(access, "   "));
  hardware.sizeFailures[FakeHardware::key(1, selector::devices)] = status::notRunning;
  EXPECT_FALSE(findInputDevice(access, " \t"));
  EXPECT_THROW(findInputDevice(access, "Dup"), TapError);
  hardware.sizeFailures.clear();
  hardware.readFailures[FakeHardware::key(82, selector::streamConfiguration, scope::input)] = -1;
  EXPECT_EQ(findInputDevice(access, "Dup")->uid, "later");
  hardware.readFailures[FakeHardware::key(83, selector::deviceUID)] = status::badObject;
  EXPECT_THROW(findInputDevice(access, "Dup"), TapError);
}

TEST_F(TapRuntimeTest, LiveInputNameKeepsBytesThatOnlyLookLikeSpaces) {
  hardware.addDevice(84, "mic", "Mic", {2}, {});
  hardware.addDevice(85, "padded", "\xC0\xA0Mic", {2}, {});
  EXPECT_EQ(findInputDevice(access, "\u00A0Mic\u3000")->uid, "mic");
  // A space spelt in two bytes is not UTF-8, so it is part of the name and matches only itself.
  EXPECT_EQ(findInputDevice(access, "\xC0\xA0Mic")->uid, "padded");
  EXPECT_FALSE(findInputDevice(access, "Mic\xC0\xA0"));
  EXPECT_FALSE(findInputDevice(access, "\xC0\xA0"));
}

TEST_F(TapRuntimeTest, OutputOnlyLiveInputGivesTheSameReportAsNone) {
  hardware.addDevice(90, "spk", "Speakers", {}, {2});
  TapRuntime withName(access, clock, err, {"a", "b"}, "Speakers");
  const RuntimeInfo report = withName.start(inventory);
  EXPECT_EQ(report.liveInputChannels, 0u);
  EXPECT_FALSE(report.liveInputName);
  EXPECT_FALSE(hardware.aggregateAttempts.back().has("master"));
  EXPECT_EQ(err.text(), "");
}

TEST_F(TapRuntimeTest, PadFailures) {
  hardware.addDevice(70, "live-uid", "Mic", {3}, {});
  hardware.createTapResults = {0, status::illegalOperation};
  {
    TapRuntime runtime(access, clock, err, {"a", "b"}, "Mic");
    try {
      runtime.start(inventory);
      FAIL();
    } catch (const TapError& error) {
      EXPECT_THAT(error.description(),
                  StartsWith("Create mono pad tap for live input failed (OSStatus "));
    }
  }
  hardware.tapUIDReadable = false;
  {
    TapRuntime runtime(access, clock, err, {"a"}, "Mic");
    EXPECT_THROW(runtime.start(inventory), TapError);
    EXPECT_NE(runtime.livePadTapID, 0u);
  }
  EXPECT_TRUE(hardware.liveTaps().empty());
}

}  // namespace
}  // namespace vellory::capture
