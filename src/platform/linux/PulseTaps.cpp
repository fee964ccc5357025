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

void PulseTaps::moveAll(const std::vector<std::uint32_t>& streams, const std::string& sinkName) {
  if (sinkName.empty()) return;
  for (const std::uint32_t stream : streams) context_.moveSinkInput(stream, sinkName);
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
  moveAll(tap.streams, tap.target);
  taps_[index] = std::move(tap);
  outIndex = index;
  return status::ok;
}

OSStatus PulseTaps::setDescription(std::uint32_t index, const TapDescription& description,
                                   const StreamResolver& resolve) {
  auto it = taps_.find(index);
  if (it == taps_.end()) return status::badObject;
  Tap& tap = it->second;
  const std::vector<std::uint32_t> wanted = streamsOf(description, resolve);
  std::vector<std::uint32_t> leaving;
  for (const std::uint32_t stream : tap.streams) {
    if (std::find(wanted.begin(), wanted.end(), stream) == wanted.end()) leaving.push_back(stream);
  }
  tap.streams = wanted;
  moveAll(wanted, tap.target);
  if (!leaving.empty()) moveAll(leaving, defaultSink());
  return context_.connected() ? status::ok : status::notRunning;
}

OSStatus PulseTaps::destroy(std::uint32_t index) {
  auto it = taps_.find(index);
  if (it == taps_.end()) return status::badObject;
  // Streams go back by an explicit move: after a sink is removed the server would otherwise
  // leave them silent for a while, or pull them into a later sink of the same name.
  moveAll(it->second.streams, defaultSink());
  const bool unloaded = context_.unloadModule(it->second.module);
  taps_.erase(it);
  return unloaded ? status::ok : status::notRunning;
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
    moveAll(tap.streams, tap.target);
  }
}

bool PulseTaps::detachFrom(const std::string& sinkName) {
  bool detached = false;
  for (auto& [index, tap] : taps_) {
    if (tap.target != sinkName) continue;
    tap.target = tap.sinkName;
    moveAll(tap.streams, tap.target);
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
  for (const auto& [index, tap] : taps_) {
    std::uint32_t targetIndex = PA_INVALID_INDEX;
    for (const auto& sink : *sinks) {
      if (sink.name == tap.target) targetIndex = sink.index;
    }
    if (targetIndex == PA_INVALID_INDEX) continue;
    for (const std::uint32_t stream : tap.streams) {
      auto found = sinkOf.find(stream);
      if (found != sinkOf.end() && found->second != targetIndex) {
        context_.moveSinkInput(stream, tap.target);
      }
    }
  }
}

}  // namespace vellory::pulse
