#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "platform/linux/CapturePlan.hpp"

namespace vellory::pulse {
namespace {

CaptureLayout layout(std::optional<CaptureInput> live, std::vector<unsigned> tapChannels) {
  CaptureLayout result{"com.vellory.application-capture",
                       "Kandimer Application Capture",
                       "vellory.capture.7",
                       std::move(live),
                       {},
                       20};
  for (std::size_t k = 0; k < tapChannels.size(); ++k) {
    result.taps.push_back({"vellory.tap.7." + std::to_string(k), tapChannels[k]});
  }
  return result;
}

std::string argument(const PlannedModule& module, const std::string& key) {
  const std::regex pattern("(^| )" + key + "=(\"[^\"]*\"|'[^']*'|[^ ]*)");
  std::smatch match;
  if (!std::regex_search(module.arguments, match, pattern)) return "<none>";
  return match[2];
}

// Where each part lands on the device: the sink (or source) a module feeds, by its master map.
std::map<std::string, std::string> placements(const std::vector<PlannedModule>& plan) {
  std::map<std::string, std::string> result;
  for (const auto& module : plan) {
    if (module.module == "module-remap-sink") {
      result[module.tapUID.empty() ? "live" : module.tapUID] =
          argument(module, "master_channel_map");
    }
  }
  return result;
}

TEST(CapturePlanTest, PlacesEveryPartOnExactlyItsChannels) {
  const CaptureInput mono{"mic_mono", 1, "mono"};
  const CaptureInput stereo{"mic_stereo", 2, "front-left,front-right"};
  // Mono live input: its channel, the pad (no module), then two per slot.
  auto plan = planCaptureDevice(layout(mono, {1, 2, 2}));
  EXPECT_EQ(
      placements(plan),
      (std::map<std::string, std::string>{
          {"live", "aux0"}, {"vellory.tap.7.1", "aux2,aux3"}, {"vellory.tap.7.2", "aux4,aux5"}}));
  EXPECT_EQ(argument(plan.front(), "channel_map"), "aux0,aux1,aux2,aux3,aux4,aux5");
  plan = planCaptureDevice(layout(stereo, {2}));
  EXPECT_EQ(placements(plan), (std::map<std::string, std::string>{
                                  {"live", "aux0,aux1"}, {"vellory.tap.7.0", "aux2,aux3"}}));
  plan = planCaptureDevice(layout(std::nullopt, {2, 2}));
  EXPECT_EQ(placements(plan),
            (std::map<std::string, std::string>{{"vellory.tap.7.0", "aux0,aux1"},
                                                {"vellory.tap.7.1", "aux2,aux3"}}));
}

// Recorders join channels by position name and ask for the wave-extensible order of their
// channel count; inside, the mixer keeps its aux channels, so every part still lands on its own.
TEST(CapturePlanTest, TheDevicePresentsTheMixersChannelsUnderTheOrderRecordersAskFor) {
  for (const auto positions : {PresentedPositions::waveExtensible, PresentedPositions::named}) {
    EXPECT_EQ(presentedChannelMap(2, positions), "front-left,front-right");
    EXPECT_EQ(presentedChannelMap(4, positions), "front-left,front-right,front-center,lfe");
    EXPECT_EQ(presentedChannelMap(6, positions),
              "front-left,front-right,front-center,lfe,rear-left,rear-right");
    for (unsigned channels = 1; channels <= 32; ++channels) {
      const std::string map = presentedChannelMap(channels, positions);
      EXPECT_EQ(static_cast<unsigned>(std::count(map.begin(), map.end(), ',')) + 1, channels);
    }
  }
  const std::string nine =
      "front-left,front-right,front-center,lfe,rear-left,rear-right,front-left-of-center,"
      "front-right-of-center,rear-center";
  // From the tenth channel on, ffmpeg asks for aux positions; PipeWire silences those next to
  // named ones, so there every channel up to the 18th is named.
  EXPECT_EQ(presentedChannelMap(10, PresentedPositions::waveExtensible), nine + ",aux0");
  EXPECT_EQ(presentedChannelMap(10, PresentedPositions::named), nine + ",side-left");
  EXPECT_EQ(presentedChannelMap(20, PresentedPositions::named).substr(nine.size()),
            ",side-left,side-right,top-center,top-front-left,top-front-center,top-front-right,"
            "top-rear-left,top-rear-center,top-rear-right,aux0,aux1");

  auto piped = layout(CaptureInput{"mic", 1, "mono"}, {1, 2, 2, 2, 2});
  piped.positions = PresentedPositions::named;
  const auto plan = planCaptureDevice(piped);
  const auto& source = plan[plan.size() - 2];
  ASSERT_EQ(source.module, "module-remap-source");
  EXPECT_EQ(argument(source, "channel_map"), nine + ",side-left");
  EXPECT_EQ(argument(source, "master_channel_map"), argument(plan.front(), "channel_map"));
  EXPECT_EQ(argument(plan.front(), "channel_map"),
            "aux0,aux1,aux2,aux3,aux4,aux5,aux6,aux7,aux8,aux9");
  EXPECT_EQ(argument(source, "remix"), "no");
}

TEST(CapturePlanTest, ChannelCountsForEveryLayout) {
  for (unsigned slots = 0; slots <= 8; ++slots) {
    for (unsigned liveChannels : {0u, 1u, 2u}) {
      std::optional<CaptureInput> live;
      std::vector<unsigned> taps;
      if (liveChannels != 0) live = CaptureInput{"in", liveChannels, "x"};
      if (liveChannels == 1) taps.push_back(1);  // the pad
      taps.insert(taps.end(), slots, 2);
      const auto plan = planCaptureDevice(layout(live, taps));
      const unsigned total = liveChannels + (liveChannels == 1 ? 1 : 0) + 2 * slots;
      if (total == 0) {
        EXPECT_TRUE(plan.empty());
        continue;
      }
      ASSERT_FALSE(plan.empty());
      // Mixer, the live input's sink, a remap sink per stereo tap, the source, the loopback.
      const std::size_t source = plan.size() - (live ? 2 : 1);
      EXPECT_EQ(argument(plan.front(), "channels"), std::to_string(total));
      EXPECT_EQ(argument(plan[source], "channels"), std::to_string(total));
      EXPECT_EQ(plan.size(), 2 + slots + (live ? 2 : 0));
      if (slots > 0) {
        EXPECT_EQ(argument(plan[source - 1], "master_channel_map"),
                  "aux" + std::to_string(total - 2) + ",aux" + std::to_string(total - 1));
      }
    }
  }
}

TEST(CapturePlanTest, LoadOrderBuildsWhatEachPartNeeds) {
  const auto plan = planCaptureDevice(layout(CaptureInput{"mic", 1, "mono"}, {1, 2}));
  ASSERT_EQ(plan.size(), 5u);
  EXPECT_EQ(plan[0].module, "module-null-sink");
  EXPECT_EQ(plan[0].sinkName, "vellory.capture.7.mix");
  EXPECT_EQ(plan[1].module, "module-remap-sink");
  EXPECT_EQ(plan[1].sinkName, "vellory.capture.7.live");
  EXPECT_EQ(plan[2].tapUID, "vellory.tap.7.1");
  EXPECT_EQ(plan[2].sinkName, "vellory.capture.7.tap1");
  EXPECT_EQ(plan[3].module, "module-remap-source");
  EXPECT_EQ(argument(plan[3], "source_name"), "\"com.vellory.application-capture\"");
  EXPECT_EQ(argument(plan[3], "master"), "\"vellory.capture.7.mix.monitor\"");
  // The live input is linked once everything it feeds stands.
  EXPECT_EQ(plan[4].module, "module-loopback");
  EXPECT_EQ(argument(plan[4], "sink"), "\"vellory.capture.7.live\"");
  EXPECT_EQ(argument(plan[4], "latency_msec"), "20");
}

TEST(CapturePlanTest, TheMixerIsHeldAtItsLatencyOnlyWhenTheLayoutAsksForIt) {
  CaptureLayout held = layout(CaptureInput{"mic", 1, "mono"}, {1, 2});
  held.mixerLatencyMs = 40;
  const auto plan = planCaptureDevice(held);
  const auto& hold = plan[0].hold;
  ASSERT_TRUE(hold);
  EXPECT_EQ(hold->sink, plan[0].sinkName);
  EXPECT_EQ(hold->source, plan[0].sinkName + ".monitor");
  EXPECT_EQ(std::to_string(hold->channels), argument(plan[0], "channels"));
  EXPECT_EQ(hold->channelMap, argument(plan[0], "channel_map"));
  EXPECT_EQ(hold->latencyMs, 40u);
  for (std::size_t k = 1; k < plan.size(); ++k) EXPECT_FALSE(plan[k].hold) << plan[k].module;
  for (const auto& part : planCaptureDevice(layout(CaptureInput{"mic", 1, "mono"}, {1, 2}))) {
    EXPECT_FALSE(part.hold) << part.module;
  }
}

TEST(CapturePlanTest, QuotesNamesAndRefusesTooManyChannels) {
  CaptureLayout odd = layout(CaptureInput{"alsa_input.usb-\"Mic\" 2", 1, "mono"}, {1, 2});
  odd.name = "Capture \"A\"";
  const auto plan = planCaptureDevice(odd);
  ASSERT_FALSE(plan.empty());
  EXPECT_NE(plan.back().arguments.find("source=\"alsa_input.usb-\\\"Mic\\\" 2\" "),
            std::string::npos);
  EXPECT_NE(plan[plan.size() - 2].arguments.find("device.description=\"Capture \\\"A\\\"\""),
            std::string::npos);
  for (const auto& module : plan) {
    EXPECT_NE(module.arguments.find("vellory.group=\"com.vellory.application-capture\""),
              std::string::npos)
        << module.module;
  }
  EXPECT_TRUE(planCaptureDevice(layout(std::nullopt, std::vector<unsigned>(33, 2))).empty());
  EXPECT_EQ(planCaptureDevice(layout(std::nullopt, std::vector<unsigned>(16, 2))).size(), 18u);
}

}  // namespace
}  // namespace vellory::pulse
