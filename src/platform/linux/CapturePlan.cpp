#include "platform/linux/CapturePlan.hpp"

#include <pulse/channelmap.h>
#include <pulse/sample.h>

#include <algorithm>

#include "platform/linux/PulseModuleArgs.hpp"

namespace vellory::pulse {

namespace {

const char* const partRole = "capture-part";

std::string group(const CaptureLayout& layout) {
  return std::string("vellory.group=") + quoted(layout.uid);
}

std::string partProperties(const CaptureLayout& layout) {
  return "'" + ownProperties(partRole, group(layout)) + "'";
}

PlannedModule mixer(const CaptureLayout& layout, unsigned total) {
  const std::string sink = layout.parts + ".mix";
  PlannedModule part{"module-null-sink",
                     "sink_name=" + quoted(sink) + " rate=48000 format=float32le channels=" +
                         std::to_string(total) + " channel_map=" + auxChannelMap(0, total) +
                         " sink_properties=" + partProperties(layout),
                     sink,
                     {},
                     std::nullopt,
                     std::nullopt};
  if (layout.mixerLatencyMs != 0) {
    part.hold =
        MixerHold{sink, sink + ".monitor", total, auxChannelMap(0, total), layout.mixerLatencyMs};
  }
  return part;
}

// A sink whose `channels` land on the mixer's channels from `offset` on, and nowhere else.
PlannedModule remapSink(const CaptureLayout& layout, const std::string& sink, unsigned channels,
                        const std::string& channelMap, unsigned offset) {
  return {"module-remap-sink",
          "sink_name=" + quoted(sink) + " master=" + quoted(layout.parts + ".mix") +
              " channels=" + std::to_string(channels) + " channel_map=" + channelMap +
              " master_channel_map=" + auxChannelMap(offset, channels) +
              " remix=no sink_properties=" + partProperties(layout),
          sink,
          {},
          std::nullopt,
          std::nullopt};
}

PlannedModule liveLoopback(const CaptureLayout& layout, const std::string& sink) {
  const CaptureInput& live = *layout.live;
  return {"module-loopback",
          "source=" + quoted(live.name) + " sink=" + quoted(sink) +
              " channels=" + std::to_string(live.channels) + " channel_map=" + live.channelMap +
              " latency_msec=" + std::to_string(layout.liveLatencyMs) +
              " remix=no source_dont_move=true sink_dont_move=true sink_input_properties=" +
              partProperties(layout) + " source_output_properties=" + partProperties(layout),
          {},
          {},
          std::nullopt,
          std::nullopt};
}

PlannedModule liveFeed(const CaptureLayout& layout, const std::string& sink) {
  const CaptureInput& live = *layout.live;
  PlannedModule step;
  step.sinkName = sink;
  step.feed =
      LiveFeed{live.name, sink, live.channels, live.channelMap, layout.liveLatencyMs, layout.uid};
  return step;
}

// The mixer's channel k is presented as position k of `presentedChannelMap`: only the names
// change, so each part still reaches exactly its channels.
PlannedModule presentingSource(const CaptureLayout& layout, unsigned total) {
  return {
      "module-remap-source",
      "source_name=" + quoted(layout.uid) + " master=" + quoted(layout.parts + ".mix.monitor") +
          " channels=" + std::to_string(total) +
          " channel_map=" + presentedChannelMap(total, layout.positions) +
          " master_channel_map=" + auxChannelMap(0, total) + " remix=no source_properties='" +
          ownProperties("capture", group(layout) + " device.description=" + quoted(layout.name)) +
          "'",
      {},
      {},
      std::nullopt,
      std::nullopt};
}

}  // namespace

std::string presentedChannelMap(unsigned channels, PresentedPositions positions) {
  // libpulse names all 18 positions of the order for 18 channels, but only 9 for 10 to 17.
  constexpr unsigned orderLength = 18;
  const bool allNamed = positions == PresentedPositions::named && channels > 9;
  pa_channel_map map;
  if (pa_channel_map_init_extend(&map, allNamed ? orderLength : channels, PA_CHANNEL_MAP_WAVEEX) ==
      nullptr) {
    return {};
  }
  const unsigned fromMap = std::min(channels, static_cast<unsigned>(map.channels));
  std::string result;
  for (unsigned k = 0; k < fromMap; ++k) {
    if (k != 0) result += ",";
    result += pa_channel_position_to_string(map.map[k]);
  }
  if (channels > fromMap) result += "," + auxChannelMap(0, channels - fromMap);
  return result;
}

unsigned captureChannels(const CaptureLayout& layout) {
  unsigned total = layout.live ? layout.live->channels : 0;
  for (const auto& tap : layout.taps) total += tap.channels;
  return total;
}

std::vector<PlannedModule> planCaptureDevice(const CaptureLayout& layout) {
  const unsigned total = captureChannels(layout);
  if (total == 0 || total > PA_CHANNELS_MAX) return {};
  std::vector<PlannedModule> plan{mixer(layout, total)};
  unsigned offset = 0;
  const std::string liveSink = layout.parts + ".live";
  if (layout.live) {
    plan.push_back(remapSink(layout, liveSink, layout.live->channels, layout.live->channelMap, 0));
    offset = layout.live->channels;
  }
  for (std::size_t k = 0; k < layout.taps.size(); ++k) {
    const CaptureTap& tap = layout.taps[k];
    if (tap.channels == 2) {
      PlannedModule part = remapSink(layout, layout.parts + ".tap" + std::to_string(k), 2,
                                     "front-left,front-right", offset);
      part.tapUID = tap.uid;
      plan.push_back(std::move(part));
    }
    offset += tap.channels;
  }
  plan.push_back(presentingSource(layout, total));
  // The live input joins the device last and leaves it first (removal runs in reverse): the
  // input's own graph then sees one link made and one undone, and never our other parts being
  // built or torn down while it feeds us. A loopback-based input on PipeWire (a remap, echo
  // cancel or filter-chain source) can stop delivering for good when its graph is reshaped
  // under it.
  if (layout.live) {
    plan.push_back(layout.liveRoute == LiveRoute::streams ? liveFeed(layout, liveSink)
                                                          : liveLoopback(layout, liveSink));
  }
  return plan;
}

}  // namespace vellory::pulse
