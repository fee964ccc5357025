#include <nlohmann/json.hpp>

#include "FabricToolFixture.hpp"

namespace vellory::fabric {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using testing::FakeHardware;

std::string request(const std::vector<std::string>& members, const json& extra = json::object()) {
  json body = extra;
  body["members"] = json::array();
  for (const auto& id : members) body["members"].push_back({{"stableId", id}});
  return body.dump();
}

// Every member but the clock master is resampled onto the master's clock.
DictionaryList subDevices(const std::vector<std::string>& uids, const std::string& master) {
  DictionaryList list;
  for (const auto& uid : uids) {
    list.push_back(uid == master ? DictionaryEntry{{"uid", uid}}
                                 : DictionaryEntry{{"uid", uid}, {"drift", 1}});
  }
  return list;
}

DescriptionDictionary expectedDescription(const std::vector<std::string>& uids,
                                          const std::string& master) {
  DescriptionDictionary description;
  description.entries = {{"name", std::string("Kandimer Output Fabric")},
                         {"uid", std::string("com.kandimer.output-fabric")},
                         {"private", false},
                         {"stacked", false},
                         {"subdevices", subDevices(uids, master)},
                         {"master", master}};
  return description;
}

class EnsureTest : public FabricToolTest {
 protected:
  void SetUp() override { addDevices(); }

  FabricRun ensure(const std::string& text) { return run({"ensure", text}); }

  void expectCreated(const std::vector<std::string>& uids, const std::string& master) {
    ASSERT_EQ(hardware.aggregateAttempts.size(), 1u);
    EXPECT_EQ(hardware.aggregateAttempts.front(), expectedDescription(uids, master));
  }
};

TEST_F(EnsureTest, TwoMembersBuildAPublishedFabricAndPrintTheResult) {
  const FabricRun result = ensure(request({"coreaudio:speakers", "coreaudio:surround"}));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "{\n"
            "  \"members\": [\n"
            "    \"coreaudio:speakers\",\n"
            "    \"coreaudio:surround\"\n"
            "  ],\n"
            "  \"name\": \"Kandimer Output Fabric\",\n"
            "  \"ok\": true,\n"
            "  \"stableId\": \"coreaudio:com.kandimer.output-fabric\"\n"
            "}\n");
  expectCreated({"speakers", "surround"}, "speakers");
  EXPECT_TRUE(clock.sleeps().empty());
}

TEST_F(EnsureTest, MemberSelectionKeepsRequestOrderAndDuplicates) {
  const std::string text = R"({"members":[
      {"stableId":"coreaudio:hdmi","enabled":true},
      {"stableId":"coreaudio:surround","enabled":false},
      {"stableId":"coreaudio:speakers","enabled":null},
      {"stableId":"coreaudio:hdmi"}],
    "sampleRate":96000, "note":{"any":[1,2]}})";
  const FabricRun result = ensure(text);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(json::parse(result.out)["members"],
            json({"coreaudio:hdmi", "coreaudio:speakers", "coreaudio:hdmi"}));
  expectCreated({"hdmi", "speakers", "hdmi"}, "hdmi");
}

TEST_F(EnsureTest, FewerThanTwoSelectedMembersFailBeforeAnyDeviceIsRead) {
  addOldFabric();
  failDeviceList();  // a device read would show up as this failure instead
  for (const std::string& text :
       {request({}), request({"coreaudio:speakers"}),
        std::string(R"({"members":[{"stableId":"coreaudio:speakers"},)"
                    R"({"stableId":"coreaudio:surround","enabled":false}]})")}) {
    const FabricRun result = ensure(text);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "[output-fabric] macOS output fabric requires at least two enabled devices.\n");
  }
  expectFabricUntouched();
}

TEST_F(EnsureTest, UnavailableMemberIsReportedAndTheOldFabricKept) {
  addOldFabric();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"coreaudio:speakers", "coreaudio:com.kandimer.output-fabric"},
       "coreaudio:com.kandimer.output-fabric"},
      {{"coreaudio:speakers", "coreaudio:mic"}, "coreaudio:mic"},
      {{"speakers", "coreaudio:surround"}, "speakers"},
      {{"coreaudio:SPEAKERS", "coreaudio:gone", "coreaudio:also-gone"}, "coreaudio:SPEAKERS"},
      {{"coreaudio:speakers", ""}, ""},
  };
  for (const auto& [members, reported] : cases) {
    const FabricRun result = ensure(request(members));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "[output-fabric] Output fabric member is unavailable: " + reported + "\n");
  }
  expectFabricUntouched();
}

TEST_F(EnsureTest, OddIdentifiersAreUnavailableMembersOrAFallbackMaster) {
  addDevices();
  addOldFabric();
  FabricRun result =
      ensure(R"({"members":[{"stableId":"coreaudio:speakers"},{"stableId":"bad\nid"}]})");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[output-fabric] Output fabric member is unavailable: bad id\n");
  expectFabricUntouched();

  result = ensure(R"({"members":[{"stableId":"coreaudio:hdmi"},{"stableId":"coreaudio:speakers"}],)"
                  R"("clockMasterStableId":"coreaudio:\u0001speakers"})");
  EXPECT_EQ(result.status, 0) << result.err;
  expectCreated({"hdmi", "speakers"}, "hdmi");
}

TEST_F(EnsureTest, UnreadableInventoryFailsWithTheOldFabricKept) {
  addOldFabric();
  hardware.readFailures[FakeHardware::key(systemObjectID, selector::devices)] = status::notRunning;
  const FabricRun result = ensure(request({"coreaudio:speakers", "coreaudio:surround"}));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "[output-fabric] Read device list failed (OSStatus 1937010544, fourCC stop).\n");
  expectFabricUntouched();
}

TEST_F(EnsureTest, ClockMasterChoice) {
  const std::vector<std::string> members = {"coreaudio:surround", "coreaudio:speakers"};
  const std::vector<std::pair<json, std::string>> cases = {
      {json::object(), "surround"},
      {{{"clockMasterStableId", nullptr}}, "surround"},
      {{{"clockMasterStableId", "coreaudio:unknown"}}, "surround"},
      {{{"clockMasterStableId", "coreaudio:mic"}}, "surround"},  // not an output
      {{{"clockMasterStableId", "coreaudio:speakers"}}, "speakers"},
      {{{"clockMasterStableId", "coreaudio:hdmi"}}, "hdmi"},  // in the inventory, not a member
  };
  for (const auto& [extra, master] : cases) {
    hardware.aggregateAttempts.clear();
    const FabricRun result = ensure(request(members, extra));
    EXPECT_EQ(result.status, 0) << result.err;
    expectCreated({"surround", "speakers"}, master);
  }
}

TEST_F(EnsureTest, MembersTheClockMasterDoesNotDriveAreDriftCompensated) {
  const std::vector<std::pair<std::string, std::vector<std::optional<std::int32_t>>>> cases = {
      {"coreaudio:speakers", {std::nullopt, 1, std::nullopt}},
      {"coreaudio:surround", {1, std::nullopt, 1}},
      {"coreaudio:hdmi", {1, 1, 1}},  // not a member: every member follows it
  };
  for (const auto& [master, drift] : cases) {
    hardware.aggregateAttempts.clear();
    const FabricRun result =
        ensure(request({"coreaudio:speakers", "coreaudio:surround", "coreaudio:speakers"},
                       {{"clockMasterStableId", master}}));
    ASSERT_EQ(result.status, 0) << result.err;
    const DictionaryList members = hardware.aggregateAttempts.at(0).list("subdevices");
    ASSERT_EQ(members.size(), 3u);
    for (std::size_t i = 0; i < members.size(); ++i) {
      EXPECT_EQ(entryNumber(members[i], "drift"), drift[i]) << master << " member " << i;
    }
  }
}

TEST_F(EnsureTest, ReplacesEveryExistingFabricBeforeCreating) {
  addOldFabric(50);
  addOldFabric(51);
  hardware.destroyAggregateFailures[51] = status::illegalOperation;  // discarded
  const FabricRun result = ensure(request({"coreaudio:speakers", "coreaudio:surround"}));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(hardware.log, (std::vector<std::string>{"destroyAggregate 50", "destroyAggregate 51",
                                                    "createAggregate"}));
}

TEST_F(EnsureTest, CreationRetriesWithPausesAndDestroyPasses) {
  addOldFabric();
  hardware.createAggregateResults = {-1, -2, -3, -4};
  // A failed attempt may leave a half-made device behind; each pause is followed by a destroy.
  AudioObjectID leftover = 60;
  clock.setHook([&](std::chrono::microseconds pause) {
    hardware.log.push_back("sleep " + std::to_string(pause.count()));
    addOldFabric(leftover++);
  });
  const FabricRun result = ensure(request({"coreaudio:speakers", "coreaudio:surround"}));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "[output-fabric] Create output fabric failed (OSStatus -4, fourCC ----).\n");
  EXPECT_EQ(clock.sleeps(), (std::vector<std::chrono::microseconds>{250ms, 500ms, 750ms}));
  EXPECT_EQ(hardware.log,
            (std::vector<std::string>{"destroyAggregate 50", "createAggregate", "sleep 250000",
                                      "destroyAggregate 60", "createAggregate", "sleep 500000",
                                      "destroyAggregate 61", "createAggregate", "sleep 750000",
                                      "destroyAggregate 62", "createAggregate"}));
  ASSERT_EQ(hardware.aggregateAttempts.size(), 4u);
  for (const auto& attempt : hardware.aggregateAttempts) {
    EXPECT_EQ(attempt, hardware.aggregateAttempts.front());
  }
}

TEST_F(EnsureTest, CreationThatSucceedsOnTheThirdAttemptStopsPausing) {
  hardware.createAggregateResults = {status::unspecified, status::unspecified};
  const FabricRun result = ensure(request({"coreaudio:speakers", "coreaudio:surround"}));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(json::parse(result.out)["ok"], true);
  EXPECT_EQ(hardware.aggregateAttempts.size(), 3u);
  EXPECT_EQ(clock.sleeps(), (std::vector<std::chrono::microseconds>{250ms, 500ms}));
}

TEST_F(EnsureTest, OutsideTextInAFailureIsBoundedToOneShortLine) {
  const FabricRun overflow =
      ensure(R"({"members":[{"stableId":"a","x":)" + std::string(1000, '7') + "e99999}]}");
  EXPECT_EQ(overflow.status, 1);
  EXPECT_EQ(overflow.err,
            "[output-fabric] Invalid output fabric request: number out of range at byte 33.\n");

  const std::string hugeId = "x\n" + std::string(100000, 'y');
  const FabricRun missing = ensure(request({"coreaudio:speakers", hugeId}));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "[output-fabric] Output fabric member is unavailable: x " +
                             std::string(197, 'y') + "\u2026\n");
  expectFabricUntouched();
}

TEST_F(EnsureTest, InvalidUtf8IsAnEncodingError) {
  addOldFabric();
  const FabricRun result = ensure("{\"members\":[{\"stableId\":\"coreaudio:\xc3\x28\"}]}");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[output-fabric] Invalid output fabric JSON encoding.\n");
  expectFabricUntouched();
}

TEST_F(EnsureTest, MalformedRequestsGiveOneTaggedLineAndTouchNothing) {
  addOldFabric();
  std::string manyMembers = R"({"members":[)";
  for (int i = 0; i < 4097; ++i) manyMembers += std::string(i ? "," : "") + R"({"stableId":"x"})";
  manyMembers += "]}";
  const std::string deep =
      R"({"members":[],"x":)" + std::string(100000, '[') + std::string(100000, ']') + "}";
  const std::vector<std::string> requests = {
      "",
      "not json",
      "{",
      R"({"members":[]} trailing)",
      R"({"members":[] /* comment */})",
      "[]",
      "null",
      R"("members")",
      "{}",
      R"({"members":null})",
      R"({"members":{}})",
      R"({"members":"coreaudio:speakers"})",
      R"({"members":[null]})",
      R"({"members":[["coreaudio:speakers"]]})",
      R"({"members":[{"stableId":null}]})",
      R"({"members":[{"stableId":5}]})",
      R"({"members":[{"enabled":true}]})",
      R"({"members":[{"stableId":"coreaudio:speakers","enabled":"yes"}]})",
      R"({"members":[{"stableId":"coreaudio:speakers","enabled":1}]})",
      R"({"members":[{"stableId":"a"},{"stableId":"b"}],"clockMasterStableId":5})",
      manyMembers,
      deep,
  };
  for (const auto& text : requests) {
    const FabricRun result = ensure(text);
    EXPECT_EQ(result.status, 1) << text.substr(0, 80);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("[output-fabric] Invalid output fabric request: ", 0), 0u)
        << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_LT(result.err.size(), 200u);
  }
  expectFabricUntouched();
}

TEST_F(EnsureTest, RemoveSucceedsExactlyWhenNoFabricIsLeft) {
  const std::string removed = "{\n  \"ok\": true,\n  \"removed\": true\n}\n";
  addOldFabric(50);
  addOldFabric(51);
  FabricRun result = run({"remove", "ignored"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, removed);
  EXPECT_EQ(hardware.destroyedAggregates, (std::vector<AudioObjectID>{50, 51}));

  result = run({"remove"});  // nothing left
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, removed);

  // A fabric that stays published, perhaps as the current output, is no success.
  addOldFabric(52);
  hardware.destroyAggregateFailures[52] = status::illegalOperation;
  result = run({"remove"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "[output-fabric] Destroy existing output fabric failed (OSStatus 1852797029, fourCC "
            "nope).\n");

  failDeviceList();
  result = run({"remove"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("[output-fabric] Read device-list size failed (OSStatus ", 0), 0u);
}

TEST_F(EnsureTest, FabricWhoseUIDCannotBeReadIsSkippedByRemove) {
  hardware.addDevice(40, "unreadable", "Unreadable", {}, {2});
  hardware.readFailures[FakeHardware::key(40, selector::deviceUID)] = -50;
  addOldFabric();
  EXPECT_EQ(run({"remove"}).status, 0);
  EXPECT_EQ(hardware.destroyedAggregates, (std::vector<AudioObjectID>{oldFabric}));
}

}  // namespace
}  // namespace vellory::fabric
