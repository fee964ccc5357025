#include <gtest/gtest.h>

#include <memory>

#include "announcement/OutputDevicePreference.hpp"
#include "announcement/StereoFilePlayer.hpp"
#include "fakes/FakeHardware.hpp"
#include "fakes/FakeOutputQueue.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::announcement {
namespace {

using testing::FakeAudioOutput;
using testing::FakeHardware;
using testing::FakeQueueScript;

class OutputDevicePreference : public ::testing::Test {
 protected:
  void addOutput(AudioObjectID id, const std::string& name, std::vector<std::uint32_t> outputs) {
    hardware.addDevice(id, "uid-" + std::to_string(id), name, {}, std::move(outputs));
  }
  void setDefault(AudioObjectID id) {
    hardware.setValue(systemObjectID, selector::defaultOutputDevice, id);
  }
  // Runs the preference on a fresh queue; returns the device the queue was moved to.
  std::string prefer() {
    std::unique_ptr<OutputQueue> queue;
    EXPECT_EQ(output.newOutput({}, nullptr, nullptr, queue), 0);
    StereoFilePlayer::preferOutputDevice(*queue, hardware, err);
    return output.last()->currentDevice();
  }

  FakeHardware hardware;
  FakeAudioOutput output;
  StringSink err;
};

TEST_F(OutputDevicePreference, ChannelCountAddsUpOutputStreamsOnly) {
  hardware.addDevice(10, "a", "A", {2}, {2, 2});
  hardware.addDevice(11, "b", "B", {8}, {});
  hardware.addDevice(12, "c", "C", {}, {8});
  EXPECT_EQ(outputChannelCount(hardware, 10), 4u);
  EXPECT_EQ(outputChannelCount(hardware, 11), 0u);
  EXPECT_EQ(outputChannelCount(hardware, 12), 8u);
  EXPECT_EQ(outputChannelCount(hardware, 99), 0u);
  hardware.readFailures[FakeHardware::key(12, selector::streamConfiguration, scope::output)] = -1;
  EXPECT_EQ(outputChannelCount(hardware, 12), 0u);
}

TEST_F(OutputDevicePreference, StereoDefaultOutputWinsOverEarlierSpeakers) {
  addOutput(40, "Speakers", {2});
  addOutput(41, "USB Audio", {2});
  setDefault(41);
  EXPECT_EQ(prefer(), "uid-41");
  EXPECT_EQ(err.text(), "[announcement-player] Using output device 41 (USB Audio)\n");
}

TEST_F(OutputDevicePreference, SpeakerNameWinsWhenTheDefaultIsNotStereo) {
  addOutput(50, "Surround", {8});
  addOutput(51, "USB Audio", {2});
  addOutput(52, "Internal Speakers", {2});
  addOutput(53, "SPEAKER OUT", {2});
  setDefault(50);
  EXPECT_EQ(prefer(), "uid-52");
  EXPECT_EQ(err.text(), "[announcement-player] Using output device 52 (Internal Speakers)\n");
}

TEST_F(OutputDevicePreference, DeviceNameIsShownOnOneBoundedLine) {
  addOutput(45, "Speakers\n[announcement-player] first buffer" + std::string(300, 'y'), {2});
  setDefault(45);
  EXPECT_EQ(prefer(), "uid-45");
  EXPECT_EQ(err.text(),
            "[announcement-player] Using output device 45 (Speakers [announcement-player] first "
            "buffer" +
                std::string(200 - 44, 'y') + "\xE2\x80\xA6)\n");
}

TEST_F(OutputDevicePreference, FirstStereoDeviceWithoutSpeakerNames) {
  addOutput(60, "Surround", {8});
  addOutput(61, "Mono", {1});
  addOutput(62, "USB Audio", {2});
  addOutput(63, "Headphones", {2});
  setDefault(60);
  EXPECT_EQ(prefer(), "uid-62");
}

TEST_F(OutputDevicePreference, UnreadableNameIsNoSpeakerButStillStereo) {
  addOutput(70, "Speakers", {2});
  hardware.strings.erase(FakeHardware::key(70, selector::objectName));
  addOutput(71, "Surround", {8});
  setDefault(71);
  EXPECT_EQ(prefer(), "uid-70");
  EXPECT_EQ(err.text(), "[announcement-player] Using output device 70 ()\n");
}

TEST_F(OutputDevicePreference, DefaultOutputWhateverItsChannelsWhenNothingIsStereo) {
  addOutput(80, "Surround", {8});
  addOutput(81, "Quad", {2, 2});
  setDefault(81);
  EXPECT_EQ(prefer(), "uid-81");
}

TEST_F(OutputDevicePreference, NothingChosenLeavesNoTrace) {
  addOutput(90, "Surround", {8});  // no default output readable
  EXPECT_EQ(prefer(), "");
  EXPECT_EQ(err.text(), "");
  EXPECT_EQ(output.last()->count("setCurrentDevice"), 0u);

  hardware.sizeFailures[FakeHardware::key(systemObjectID, selector::devices)] = -1;
  addOutput(91, "Speakers", {2});
  setDefault(91);
  EXPECT_EQ(prefer(), "");
  EXPECT_EQ(err.text(), "");
}

TEST_F(OutputDevicePreference, FailedListReadEndsSilently) {
  addOutput(91, "Speakers", {2});
  setDefault(91);
  hardware.readFailures[FakeHardware::key(systemObjectID, selector::devices)] = -1;
  EXPECT_EQ(prefer(), "");
  EXPECT_EQ(err.text(), "");
}

TEST_F(OutputDevicePreference, RefusedDeviceOrUnreadableUIDReportsTheStatus) {
  addOutput(100, "Speakers", {2});
  setDefault(100);
  FakeQueueScript script;
  script.unknownDevices.insert("uid-100");
  output.setScript(script);
  EXPECT_EQ(prefer(), "");
  EXPECT_EQ(err.text(), "[announcement-player] AudioQueue device select status 560947818\n");

  StringSink second;
  output.setScript({});
  hardware.readFailures[FakeHardware::key(100, selector::deviceUID)] = -10851;
  std::unique_ptr<OutputQueue> queue;
  ASSERT_EQ(output.newOutput({}, nullptr, nullptr, queue), 0);
  StereoFilePlayer::preferOutputDevice(*queue, hardware, second);
  EXPECT_EQ(second.text(), "[announcement-player] AudioQueue device select status -10851\n");
  EXPECT_EQ(output.last()->count("setCurrentDevice"), 0u);
}

}  // namespace
}  // namespace vellory::announcement
