#include <gtest/gtest.h>

#include "capture/RunReport.hpp"
#include "shared/JsonWriter.hpp"

namespace vellory::capture {
namespace {

RuntimeInfo sampleReport() {
  RuntimeInfo report;
  report.aggregateName = "Kandimer Application Capture";
  report.aggregateUID = "com.vellory.application-capture";
  report.aggregateObjectID = 4000000000u;
  report.slots = {SlotInfo{1, "com.apple.Safari|org.videolan.vlc", 70, {{9, 99, "a/b", true}}},
                  SlotInfo{2, "com.apple.Music", 71, {}}};
  report.applicationChannels = 2;
  report.announcementChannels = 2;
  report.channels = 4;
  return report;
}

std::vector<std::string> keysOf(const nlohmann::json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  return keys;
}

TEST(RunReport, WithoutLiveInputHasTenKeysAndNoNulls) {
  const auto text = encodeJson(encode(sampleReport()));
  const auto json = nlohmann::json::parse(text);
  EXPECT_EQ(keysOf(json),
            (std::vector<std::string>{"aggregateName", "aggregateObjectID", "aggregateUID",
                                      "announcementChannels", "applicationChannels", "channels",
                                      "liveInputChannels", "ok", "sampleRate", "slots"}));
  EXPECT_EQ(text.find("null"), std::string::npos);
  EXPECT_EQ(json["aggregateObjectID"].get<std::uint64_t>(), 4000000000u);
  EXPECT_EQ(keysOf(json["slots"][0]),
            (std::vector<std::string>{"bundleID", "processes", "slot", "tapObjectID"}));
  EXPECT_EQ(json["slots"][0]["bundleID"], "com.apple.Safari|org.videolan.vlc");
  EXPECT_TRUE(json["slots"][1]["processes"].is_array());
  EXPECT_TRUE(json["slots"][1]["processes"].empty());
  EXPECT_NE(text.find("\"a/b\""), std::string::npos);
  EXPECT_DOUBLE_EQ(json["sampleRate"].get<double>(), 48000.0);
}

TEST(RunReport, WithLiveInputHasTwelveKeysAndRoundTrips) {
  RuntimeInfo report = sampleReport();
  report.liveInputChannels = 2;
  report.channels = 6;
  report.liveInputName = " Mic ";
  report.liveInputUID = "mic_mono";
  const auto json = nlohmann::json::parse(encodeJson(encode(report)));
  EXPECT_EQ(json.size(), 12u);
  EXPECT_EQ(json["liveInputName"], " Mic ");
  EXPECT_EQ(decodeRuntimeInfo(json), report);
}

TEST(RunReport, DecodingIgnoresUnknownKeysAndRejectsWrongTypesAndMissingKeys) {
  auto json = encode(sampleReport());
  json["extra"] = {1, 2};
  EXPECT_EQ(decodeRuntimeInfo(json), sampleReport());

  auto wrong = json;
  wrong["channels"] = "4";
  EXPECT_THROW(decodeRuntimeInfo(wrong), std::invalid_argument);
  auto negative = json;
  negative["aggregateObjectID"] = -1;
  EXPECT_THROW(decodeRuntimeInfo(negative), std::invalid_argument);
  auto missing = json;
  missing.erase("ok");
  EXPECT_THROW(decodeRuntimeInfo(missing), std::invalid_argument);
  auto badSlot = json;
  badSlot["slots"][0]["processes"][0]["running"] = 1;
  EXPECT_THROW(decodeRuntimeInfo(badSlot), std::invalid_argument);
  auto badName = json;
  badName["liveInputName"] = 5;
  EXPECT_THROW(decodeRuntimeInfo(badName), std::invalid_argument);
}

}  // namespace
}  // namespace vellory::capture
