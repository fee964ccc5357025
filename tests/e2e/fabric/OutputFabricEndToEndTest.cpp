#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>
#include <sstream>

#include "FabricServer.hpp"
#include "e2e/support/AudioAnalysis.hpp"
#include "e2e/support/SoundFixtures.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr double toneFrequency = 880.0;

std::string request(const std::vector<std::string>& sinks) {
  json body{{"members", json::array()}};
  for (const auto& sink : sinks) body["members"].push_back({{"stableId", "coreaudio:" + sink}});
  return body.dump();
}

class OutputFabricEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(runFabricTool({"remove"}).status, 0); }
  void TearDown() override { runFabricTool({"remove"}); }

  void ensureFabric(const std::vector<std::string>& sinks) {
    const CommandResult result = runFabricTool({"ensure", request(sinks)});
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_EQ(result.err, "");
    const json printed = json::parse(result.out);
    EXPECT_EQ(printed["stableId"], "coreaudio:com.kandimer.output-fabric");
    EXPECT_EQ(printed["members"].size(), sinks.size());
  }

  // Plays a tone into the fabric and checks that every member carries it and no other sink does.
  void expectToneOnlyOn(const std::vector<std::string>& members,
                        const std::vector<std::string>& others) {
    std::vector<std::unique_ptr<MonitorRecorder>> memberRecorders;
    std::vector<std::unique_ptr<MonitorRecorder>> otherRecorders;
    for (const auto& sink : members)
      memberRecorders.push_back(std::make_unique<MonitorRecorder>(sink));
    for (const auto& sink : others)
      otherRecorders.push_back(std::make_unique<MonitorRecorder>(sink));
    const TempDir scratch;
    const std::string tone = scratch.file("tone.wav");
    makeTone(tone, toneFrequency, 8);
    BackgroundProcess player({"paplay", "--device=" + std::string(fabricSinkName), tone});
    for (std::size_t i = 0; i < members.size(); ++i) {
      EXPECT_TRUE(waitUntil(
          [&] { return memberRecorders[i]->recentToneAmplitude(toneFrequency) > 0.3; }, 10s))
          << "no tone on " << members[i];
    }
    // Silence cannot be waited for: give the other sinks the time the members needed and more.
    const auto detected = std::chrono::steady_clock::now();
    for (auto& recorder : otherRecorders) {
      EXPECT_TRUE(waitUntil([&] { return recorder->recordedSeconds() > 1.0; }, 5s));
    }
    waitUntil([&] { return std::chrono::steady_clock::now() > detected + 500ms; }, 1s);
    for (std::size_t i = 0; i < others.size(); ++i) {
      EXPECT_LT(peak(otherRecorders[i]->samples()), 0.01) << "sound on " << others[i];
    }
  }
};

TEST_F(OutputFabricEndToEnd, ListPrintsTheServerOutputs) {
  const CommandResult result = runFabricTool({"list"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const json listed = json::parse(result.out);
  std::string defaultSink = pactl({"get-default-sink"});
  defaultSink.erase(defaultSink.find_last_not_of("\n ") + 1);
  std::vector<json> expected;
  // pactl's short list gives each sink's channels and rate as "<format> <N>ch <rate>Hz".
  std::map<std::string, std::string> formatOf;
  std::istringstream shortList(pactl({"list", "short", "sinks"}));
  for (std::string line; std::getline(shortList, line);) {
    std::istringstream fields(line);
    std::string index, name;
    fields >> index >> name;
    formatOf[name] = line;
  }
  const std::regex channelsAndRate(R"((\d+)ch (\d+)Hz)");
  for (const auto& sink : pactlJson({"list", "sinks"})) {
    std::smatch match;
    const std::string format = formatOf[sink["name"].get<std::string>()];
    ASSERT_TRUE(std::regex_search(format, match, channelsAndRate)) << format;
    const double rate = std::stod(match[2]);
    expected.push_back({{"name", sink["description"]},
                        {"stableId", "coreaudio:" + sink["name"].get<std::string>()},
                        {"outputChannels", std::stoi(match[1])},
                        {"sampleRate", rate},
                        {"preferredSampleRate", rate},
                        {"defaultOutput", sink["name"] == defaultSink},
                        {"virtual", false},
                        {"available", true},
                        {"backend", "coreaudio"}});
  }
  EXPECT_EQ(listed, json(expected));
  EXPECT_EQ(runFabricTool({}).out, result.out);
}

TEST_F(OutputFabricEndToEnd, EnsureBuildsAHiddenFabricThatPlaysOnBothMembers) {
  ensureFabric({"speakers", "surround"});
  ASSERT_EQ(fabricSinkCount(), 1u);
  for (const auto& sink : pactlJson({"list", "sinks"})) {
    if (sink["name"] != fabricSinkName) continue;
    EXPECT_EQ(sink["description"], "Kandimer Output Fabric");
    EXPECT_EQ(sink["properties"]["vellory.role"], "fabric");
  }
  const std::string listed = runFabricTool({"list"}).out;
  EXPECT_EQ(listed.find(fabricSinkName), std::string::npos) << listed;
  expectToneOnlyOn({"speakers", "surround"}, {"micfeed_stereo"});
}

TEST_F(OutputFabricEndToEnd, SecondEnsureReplacesTheFabric) {
  ensureFabric({"speakers", "surround"});
  ensureFabric({"speakers", "micfeed_stereo"});
  EXPECT_EQ(fabricSinkCount(), 1u);
  expectToneOnlyOn({"speakers", "micfeed_stereo"}, {"surround"});
}

TEST_F(OutputFabricEndToEnd, RemoveRemovesTheFabricAndSucceedsWhenNothingIsThere) {
  ensureFabric({"speakers", "surround"});
  ASSERT_EQ(fabricSinkCount(), 1u);
  for (int round = 0; round < 2; ++round) {
    const CommandResult result = runFabricTool({"remove"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(json::parse(result.out), json({{"ok", true}, {"removed", true}}));
    EXPECT_EQ(fabricSinkCount(), 0u);
  }
}

TEST_F(OutputFabricEndToEnd, BadRequestsLeaveTheFabricUntouched) {
  ensureFabric({"speakers", "surround"});
  const std::int64_t module = fabricModule();
  ASSERT_GE(module, 0);
  const std::vector<std::pair<std::string, std::string>> requests = {
      {"{\"members\": [", "Invalid output fabric request: "},
      {R"({"members":[{"stableId":"coreaudio:speakers","enabled":"yes"}]})",
       "Invalid output fabric request: "},
      {request({"speakers"}), "macOS output fabric requires at least two enabled devices."},
      {request({"speakers", "mic_mono"}),
       "Output fabric member is unavailable: coreaudio:mic_mono"},
      {request({"speakers", fabricSinkName}),
       "Output fabric member is unavailable: coreaudio:com.kandimer.output-fabric"},
      {"{\"members\":[{\"stableId\":\"\xff\"}]}", "Invalid output fabric JSON encoding."},
  };
  for (const auto& [text, message] : requests) {
    const CommandResult result = runFabricTool({"ensure", text});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("[output-fabric] " + message, 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  }
  EXPECT_EQ(runFabricTool({"ensure", "a", "b"}).status, 1);
  EXPECT_EQ(fabricSinkCount(), 1u);
  EXPECT_EQ(fabricModule(), module);
}

TEST_F(OutputFabricEndToEnd, RemoveLeavesASinkThatIsNotOursAlone) {
  std::string module = pactl({"load-module", "module-null-sink",
                              "sink_name=" + std::string(fabricSinkName), "channels=2"});
  module.erase(module.find_last_not_of("\n ") + 1);
  // Left alone, and so not reported removed: a device of that name is still there.
  const CommandResult removed = runFabricTool({"remove"});
  EXPECT_EQ(removed.status, 1);
  EXPECT_EQ(removed.out, "");
  EXPECT_EQ(
      removed.err.rfind("[output-fabric] Destroy existing output fabric failed (OSStatus ", 0), 0u)
      << removed.err;
  EXPECT_EQ(fabricSinkCount(), 1u);
  pactl({"unload-module", module});
  EXPECT_EQ(fabricSinkCount(), 0u);
}

}  // namespace
}  // namespace vellory::e2e
