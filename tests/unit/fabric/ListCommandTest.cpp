#include <nlohmann/json.hpp>

#include "FabricToolFixture.hpp"
#include "shared/BufferList.hpp"

namespace vellory::fabric {
namespace {

using nlohmann::json;
using testing::FakeHardware;

std::vector<std::string> names(const FabricRun& run) {
  std::vector<std::string> result;
  for (const auto& device : json::parse(run.out)) result.push_back(device["name"]);
  return result;
}

TEST_F(FabricToolTest, CommandGrammar) {
  addDevices();
  const FabricRun bare = run({});
  EXPECT_EQ(bare.status, 0);
  EXPECT_EQ(bare.err, "");
  EXPECT_EQ(run({"list", "extra", "words"}).out, bare.out);
  EXPECT_EQ(run({"list"}).out, bare.out);

  const std::string usage =
      "[output-fabric] Usage: vellory-output-fabric list | ensure JSON | remove\n";
  for (const std::vector<std::string>& args : {std::vector<std::string>{"LIST"},
                                               {"ensure"},
                                               {"ensure", "a", "b"},
                                               {"Remove"},
                                               {""},
                                               {"bogus", "list"}}) {
    const FabricRun result = run(args);
    EXPECT_EQ(result.status, 1) << args.front();
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, usage);
  }
  // The usage error needs no platform.
  failDeviceList();
  EXPECT_EQ(run({"ensure"}).err, usage);
  expectFabricUntouched();
}

TEST_F(FabricToolTest, ListPrintsOneSortedRecordPerUsableOutput) {
  hardware.addDevice(speakers, "speakers", "Speakers", {}, {2});
  hardware.setValue<AudioObjectID>(systemObjectID, selector::defaultSystemOutputDevice, speakers);
  const FabricRun result = run({"list"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "[\n"
            "  {\n"
            "    \"available\": true,\n"
            "    \"backend\": \"coreaudio\",\n"
            "    \"defaultOutput\": true,\n"
            "    \"name\": \"Speakers\",\n"
            "    \"outputChannels\": 2,\n"
            "    \"preferredSampleRate\": 48000.0,\n"
            "    \"sampleRate\": 48000.0,\n"
            "    \"stableId\": \"coreaudio:speakers\",\n"
            "    \"virtual\": false\n"
            "  }\n"
            "]\n");
}

TEST_F(FabricToolTest, ListKeepsPlatformOrderChannelsRatesAndTheSystemOutput) {
  addDevices();
  hardware.addDevice(14, "dual", "Dual Stereo", {2}, {2, 2});
  hardware.setValue<AudioObjectID>(systemObjectID, selector::defaultSystemOutputDevice, surround);
  const json devices = json::parse(run({}).out);
  ASSERT_EQ(devices.size(), 4u);  // the input-only microphone is left out
  EXPECT_EQ(devices[0]["stableId"], "coreaudio:speakers");
  EXPECT_EQ(devices[1]["stableId"], "coreaudio:surround");
  EXPECT_EQ(devices[1]["outputChannels"], 8);
  EXPECT_EQ(devices[2]["sampleRate"], 44100.0);
  EXPECT_EQ(devices[2]["preferredSampleRate"], 44100.0);
  EXPECT_EQ(devices[3]["outputChannels"], 4);
  for (const auto& device : devices) {
    EXPECT_EQ(device["defaultOutput"], device["stableId"] == "coreaudio:surround");
    EXPECT_EQ(device["available"], true);
    EXPECT_EQ(device["backend"], "coreaudio");
  }
}

TEST_F(FabricToolTest, UnreadableSystemOutputMarksNoDevice) {
  addDevices();
  hardware.readFailures[FakeHardware::key(systemObjectID, selector::defaultSystemOutputDevice)] =
      -50;
  const FabricRun result = run({});
  EXPECT_EQ(result.status, 0);
  for (const auto& device : json::parse(result.out)) EXPECT_EQ(device["defaultOutput"], false);
}

TEST_F(FabricToolTest, VirtualFlagMatchesAggregateOrVirtualInAnyCase) {
  const std::vector<std::pair<std::string, bool>> cases = {{"Virtual Speakers", true},
                                                           {"MY AGGREGATE", true},
                                                           {"aggreGATE", true},
                                                           {"BlackHole (virtual)", true},
                                                           {"Speakers", false},
                                                           {"Virtu al", false},
                                                           {"", false},
                                                           {"\xff\xfeVIRTUAL", true},
                                                           {"Ｖirtual", false},
                                                           {"Écran VIRTUEL", false},
                                                           {"Ägg aggregate", true}};
  AudioObjectID id = 100;
  for (const auto& [name, expected] : cases) {
    hardware.addDevice(id, "dev" + std::to_string(id), name, {}, {2});
    ++id;
  }
  const json devices = json::parse(run({}).out);
  ASSERT_EQ(devices.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(devices[i]["virtual"], cases[i].second) << cases[i].first;
  }
}

TEST_F(FabricToolTest, OwnFabricIsHiddenButOtherAggregatesAreListed) {
  addOldFabric();
  hardware.addDevice(51, "com.kandimer.output-fabric-2", "Other Aggregate", {}, {4});
  const json devices = json::parse(run({}).out);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0]["name"], "Other Aggregate");
  EXPECT_EQ(devices[0]["virtual"], true);
}

TEST_F(FabricToolTest, DevicesThatCannotBeReadAreLeftOutSilently) {
  addDevices();
  const auto outputScope = [](AudioObjectID id) {
    return FakeHardware::key(id, selector::streamConfiguration, scope::output);
  };
  hardware.addDevice(20, "a", "Channels size fails", {}, {2});
  hardware.sizeFailures[outputScope(20)] = -50;
  hardware.addDevice(21, "b", "Channels read fails", {}, {2});
  hardware.readFailures[outputScope(21)] = -50;
  hardware.addDevice(22, "c", "UID fails", {}, {2});
  hardware.readFailures[FakeHardware::key(22, selector::deviceUID)] = -50;
  hardware.addDevice(23, "", "Empty UID", {}, {2});
  hardware.addDevice(24, "e", "Name fails", {}, {2});
  hardware.readFailures[FakeHardware::key(24, selector::objectName)] = -50;
  hardware.addDevice(25, "f", "Rate fails", {}, {2});
  hardware.readFailures[FakeHardware::key(25, selector::nominalSampleRate)] = -50;
  hardware.addDevice(26, "g", "Not a rate", {}, {2}, std::numeric_limits<double>::quiet_NaN());
  hardware.addDevice(27, "h", "Zero channels", {}, {0, 0});
  hardware.addDevice(28, "i", "", {}, {2});  // an empty name is fine
  hardware.strings[FakeHardware::key(29, selector::deviceUID)] = "j";

  const FabricRun result = run({});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(names(result),
            (std::vector<std::string>{"Speakers", "Multichannel Output", "HDMI", ""}));
}

TEST_F(FabricToolTest, BufferListsAreReadOnlyWithinTheReturnedBytes) {
  const auto outputScope = [](AudioObjectID id) {
    return FakeHardware::key(id, selector::streamConfiguration, scope::output);
  };
  hardware.addDevice(30, "liar", "Claims five buffers", {}, {2});
  auto lying = encodeBufferList({2});
  lying[0] = std::byte{5};
  hardware.values[outputScope(30)] = lying;
  hardware.addDevice(31, "short", "Two bytes", {}, {2});
  hardware.values[outputScope(31)] = {std::byte{1}, std::byte{0}};
  hardware.addDevice(32, "empty", "No bytes", {}, {2});
  hardware.values[outputScope(32)] = {};
  hardware.addDevice(33, "fine", "Fine", {}, {6});
  EXPECT_EQ(names(run({})), (std::vector<std::string>{"Fine"}));
}

TEST_F(FabricToolTest, EmptySystemPrintsAnEmptyArray) {
  const FabricRun result = run({"list"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "[]\n");
}

TEST_F(FabricToolTest, UnreadableDeviceListFailsListWithItsStatusLine) {
  addDevices();
  failDeviceList();
  FabricRun result = run({"list"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "[output-fabric] Read device-list size failed (OSStatus 1937010544, fourCC stop).\n");
  hardware.sizeFailures.clear();
  hardware.readFailures[FakeHardware::key(systemObjectID, selector::devices)] = -50;
  result = run({});
  EXPECT_EQ(result.err, "[output-fabric] Read device list failed (OSStatus -50, fourCC ----).\n");
}

}  // namespace
}  // namespace vellory::fabric
