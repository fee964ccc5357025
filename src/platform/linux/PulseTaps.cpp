#include "platform/linux/PulseTaps.hpp"

#include <unistd.h>

#include <algorithm>

#include "platform/linux/PulseModuleArgs.hpp"

namespace vellory::pulse {

std::vector<std::uint32_t> PulseTaps::streamsOf(const TapDescription& description,
                                                const StreamResolver& resolve) const {
  std::vector<std::uint32_t> streams;
  for (const AudioObjectID process : description.processes) {
    if (auto stream = resolve(process)) streams.push_back(*stream);
  }
  return streams;
}

std::string PulseTaps::defaultSink() {
  const auto server = context_.serverInfo();
  return server ? server->defaultSinkName : std::string();
}

std::string PulseTaps::placeOf(std::uint32_t stream) const {
  for (const auto& [index, tap] : taps_) {
    if (std::find(tap.streams.begin(), tap.streams.end(), stream) != tap.streams.end()) {
      return tap.target;
    }
  }
  return {};
}

void PulseTaps::place(const std::vector<std::uint32_t>& streams) {
  std::string fallback;
  for (const std::uint32_t stream : streams) {
    std::string target = placeOf(stream);
    if (target.empty()) {
      if (fallback.empty()) fallback = defaultSink();
      target = fallback;
    }
    if (!target.empty()) context_.moveSinkInput(stream, target);
  }
}

OSStatus PulseTaps::create(const TapDescription& description, const StreamResolver& resolve,
                           std::uint32_t& outIndex) {
  if (!context_.connected()) return status::notRunning;
  const std::uint32_t index = next_++;
  Tap tap;
  tap.mono = description.mono;
  tap.sinkName = "vellory.tap." + std::to_string(getpid()) + "." + std::to_string(index);
  const std::string arguments =
      "sink_name=" + tap.sinkName + " rate=48000 format=float32le" +
      (tap.mono ? " channels=1 channel_map=mono"
                : " channels=2 channel_map=front-left,front-right") +
      " sink_properties='" +
      ownProperties("tap", "device.description=" + quoted(description.name)) + "'";
  const auto module = context_.loadModule("module-null-sink", arguments);
  if (!module) return status::illegalOperation;
  tap.module = *module;
  tap.target = tap.sinkName;
  tap.streams = streamsOf(description, resolve);
  const std::vector<std::uint32_t> streams = tap.streams;
  taps_[index] = std::move(tap);
  place(streams);
  outIndex = index;
  return status::ok;
}

OSStatus PulseTaps::setDescription(std::uint32_t index, const TapDescription& description,
                                   const StreamResolver& resolve) {
  auto it = taps_.find(index);
  if (it == taps_.end()) return status::badObject;
  Tap& tap = it->second;
  const std::vector<std::uint32_t> wanted = streamsOf(description, resolve);
  std::vector<std::uint32_t> moved = wanted;
  for (const std::uint32_t stream : tap.streams) {
    if (std::find(wanted.begin(), wanted.end(), stream) == wanted.end()) moved.push_back(stream);
  }
  tap.streams = wanted;
  place(moved);
  return context_.connected() ? status::ok : status::notRunning;
}

OSStatus PulseTaps::destroy(std::uint32_t index) {
  auto it = taps_.find(index);
  if (it == taps_.end()) return status::badObject;
  const std::uint32_t module = it->second.module;
  const std::vector<std::uint32_t> streams = it->second.streams;
  taps_.erase(it);
  // Streams go back by an explicit move: after a sink is removed the server would otherwise
  // leave them silent for a while, or pull them into a later sink of the same name.
  place(streams);
  return context_.unloadModule(module) ? status::ok : status::notRunning;
}

bool PulseTaps::exists(std::uint32_t index) const {
  return taps_.count(index) != 0;
}

bool PulseTaps::uid(std::uint32_t index, std::string& out) const {
  auto it = taps_.find(index);
  if (it == taps_.end()) return false;
  out = it->second.sinkName;
  return true;
}

bool PulseTaps::format(std::uint32_t index, AudioStreamBasicDescription& out) const {
  auto it = taps_.find(index);
  if (it == taps_.end()) return false;
  const std::uint32_t channels = it->second.mono ? 1 : 2;
  out = AudioStreamBasicDescription{48000.0,
                                    formatLinearPCM,
                                    formatFlagIsFloat | formatFlagIsPacked,
                                    4 * channels,
                                    1,
                                    4 * channels,
                                    channels,
                                    32,
                                    0};
  return true;
}

unsigned PulseTaps::channelsOf(const std::string& uid) const {
  for (const auto& [index, tap] : taps_) {
    if (tap.sinkName == uid) return tap.mono ? 1 : 2;
  }
  return 0;
}

void PulseTaps::attach(const std::string& uid, const std::string& sinkName) {
  for (auto& [index, tap] : taps_) {
    if (tap.sinkName != uid) continue;
    tap.target = sinkName;
    place(tap.streams);
  }
}

bool PulseTaps::detachFrom(const std::string& sinkName) {
  bool detached = false;
  for (auto& [index, tap] : taps_) {
    if (tap.target != sinkName) continue;
    tap.target = tap.sinkName;
    place(tap.streams);
    detached = true;
  }
  return detached;
}

void PulseTaps::enforce(const std::vector<SinkInputInfo>& streams) {
  if (taps_.empty()) return;
  std::map<std::uint32_t, std::uint32_t> sinkOf;
  for (const auto& stream : streams) sinkOf[stream.index] = stream.sink;
  const auto sinks = context_.sinks();
  if (!sinks) return;
  std::map<std::string, std::uint32_t> sinkIndex;
  for (const auto& sink : *sinks) sinkIndex[sink.name] = sink.index;
  for (const auto& [index, tap] : taps_) {
    for (const std::uint32_t stream : tap.streams) {
      const std::string target = placeOf(stream);
      const auto wanted = sinkIndex.find(target);
      const auto found = sinkOf.find(stream);
      if (wanted != sinkIndex.end() && found != sinkOf.end() && found->second != wanted->second) {
        context_.moveSinkInput(stream, target);
      }
    }
  }
}

}  // namespace vellory::pulse
