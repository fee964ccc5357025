#include "platform/linux/PulseCaptureDevice.hpp"

#include <unistd.h>

#include <algorithm>
#include <set>

#include "platform/linux/PulseHardware.hpp"
#include "platform/linux/PulseModuleArgs.hpp"

namespace vellory::pulse {

namespace {

std::string propertyOf(const Properties& properties, const char* key) {
  auto it = properties.find(key);
  return it == properties.end() ? std::string() : it->second;
}

// Moves every stream on `sinkName` to the default output.
void evacuate(PulseContext& context, const std::vector<SinkInputInfo>& streams,
              std::uint32_t sinkIndex, const std::string& defaultSink) {
  if (defaultSink.empty()) return;
  for (const auto& stream : streams) {
    if (stream.sink == sinkIndex && isApplicationStream(stream)) {
      context.moveSinkInput(stream.index, defaultSink);
    }
  }
}

// Unloads the given modules: sources first, then streams, then sinks, mixers last.
void unloadInOrder(PulseContext& context, const std::vector<std::uint32_t>& modules) {
  for (auto it = modules.rbegin(); it != modules.rend(); ++it) context.unloadModule(*it);
}

}  // namespace

bool PulseCaptureDevice::awaitLinks(const std::vector<std::uint32_t>& modules) {
  // PipeWire connects a module's inner streams a little after the module has loaded; the device
  // is ready only once every one of them is connected (PulseAudio connects them at once).
  const auto ours = [&](std::uint32_t module) {
    return std::find(modules.begin(), modules.end(), module) != modules.end();
  };
  for (int attempt = 0; attempt < 150; ++attempt) {
    const auto streams = context_.sinkInputs();
    const auto captures = context_.sourceOutputs();
    if (!streams || !captures) return false;
    bool linked = true;
    for (const auto& stream : *streams) {
      if (ours(stream.ownerModule) && stream.sink == PA_INVALID_INDEX) linked = false;
    }
    for (const auto& capture : *captures) {
      if (ours(capture.ownerModule) && capture.source == PA_INVALID_INDEX) linked = false;
    }
    if (linked) return true;
    usleep(20000);
  }
  return false;
}

OSStatus PulseCaptureDevice::create(const DescriptionDictionary& description, PulseTaps& taps,
                                    std::string& outSourceName) {
  const std::string uid = description.text(aggregateKey::uid).value_or("");
  const std::string name = description.text(aggregateKey::name).value_or(uid);
  if (uid.empty()) return status::paramError;
  const auto sources = context_.sources();
  if (!sources) return status::notRunning;

  const DeviceInfo* live = nullptr;
  const DictionaryList subDevices = description.list(aggregateKey::subDeviceList);
  if (!subDevices.empty()) {
    const auto wanted = subDevices.front().find(aggregateKey::subDeviceUID);
    for (const auto& source : *sources) {
      if (wanted != subDevices.front().end() && source.name == wanted->second) live = &source;
    }
    if (live == nullptr) return status::badObject;
  }
  std::vector<std::pair<std::string, unsigned>> tapParts;
  unsigned total = live ? live->channels : 0;
  for (const auto& entry : description.list(aggregateKey::tapList)) {
    const auto tapUID = entry.find(aggregateKey::subTapUID);
    const unsigned channels = tapUID == entry.end() ? 0 : taps.channelsOf(tapUID->second);
    if (channels == 0) return status::badObject;
    tapParts.emplace_back(tapUID->second, channels);
    total += channels;
  }
  if (total == 0 || total > PA_CHANNELS_MAX) return status::illegalOperation;

  const std::string base = "vellory.capture." + std::to_string(getpid());
  const std::string group = std::string(groupProperty) + "=" + quoted(uid);
  std::vector<std::uint32_t> loaded;
  std::vector<std::string> attachedSinks;
  const auto fail = [&](OSStatus status) {
    for (const auto& sink : attachedSinks) taps.detachFrom(sink);
    unloadInOrder(context_, loaded);
    return status;
  };
  const auto load = [&](const char* module, const std::string& arguments) {
    const auto index = context_.loadModule(module, arguments);
    if (index) loaded.push_back(*index);
    return index.has_value();
  };

  const std::string mixer = base + ".mix";
  if (!load("module-null-sink",
            "sink_name=" + mixer + " rate=48000 format=float32le channels=" +
                std::to_string(total) + " channel_map=" + auxChannelMap(0, total) +
                " sink_properties='" + ownProperties("capture-part", group) + "'")) {
    return fail(status::illegalOperation);
  }
  unsigned offset = 0;
  if (live) {
    const std::string part = base + ".live";
    if (!load("module-remap-sink",
              "sink_name=" + part + " master=" + mixer + " channels=" +
                  std::to_string(live->channels) + " channel_map=" + live->channelMap +
                  " master_channel_map=" + auxChannelMap(0, live->channels) +
                  " remix=no sink_properties='" + ownProperties("capture-part", group) + "'") ||
        !load("module-loopback",
              "source=" + live->name + " sink=" + part + " channels=" +
                  std::to_string(live->channels) + " channel_map=" + live->channelMap +
                  " latency_msec=" + std::to_string(liveInputLatencyMs) +
                  " remix=no source_dont_move=true sink_dont_move=true sink_input_properties='" +
                  ownProperties("capture-part", group) + "' source_output_properties='" +
                  ownProperties("capture-part", group) + "'")) {
      return fail(status::illegalOperation);
    }
    offset = live->channels;
  }
  for (std::size_t k = 0; k < tapParts.size(); ++k) {
    const auto& [tapUID, channels] = tapParts[k];
    // A mono tap is the silent pad: nothing plays into its channel, so the mixer leaves it 0.
    if (channels == 2) {
      const std::string part = base + ".tap" + std::to_string(k);
      if (!load("module-remap-sink", "sink_name=" + part + " master=" + mixer +
                                         " channels=2 channel_map=front-left,front-right"
                                         " master_channel_map=" +
                                         auxChannelMap(offset, 2) + " remix=no sink_properties='" +
                                         ownProperties("capture-part", group) + "'")) {
        return fail(status::illegalOperation);
      }
      taps.attach(tapUID, part);
      attachedSinks.push_back(part);
    }
    offset += channels;
  }
  if (!load("module-remap-source",
            "source_name=" + uid + " master=" + mixer + ".monitor channels=" +
                std::to_string(total) + " channel_map=" + auxChannelMap(0, total) +
                " master_channel_map=" + auxChannelMap(0, total) + " remix=no source_properties='" +
                ownProperties("capture", group + " device.description=" + quoted(name)) + "'")) {
    return fail(status::illegalOperation);
  }
  if (!awaitLinks(loaded)) return fail(status::notRunning);
  outSourceName = uid;
  return status::ok;
}

OSStatus PulseCaptureDevice::destroy(const DeviceInfo& source, PulseTaps& taps) {
  if (propertyOf(source.properties, roleProperty) != "capture") return status::illegalOperation;
  const std::string group = propertyOf(source.properties, groupProperty);
  const auto sinks = context_.sinks();
  const auto streams = context_.sinkInputs();
  const auto server = context_.serverInfo();
  if (!sinks || !streams || !server) return status::notRunning;

  std::vector<std::uint32_t> modules;  // in load order: mixer, parts, loopbacks, source
  std::set<std::uint32_t> seen;
  const auto add = [&](std::uint32_t module) {
    if (module != PA_INVALID_INDEX && seen.insert(module).second) modules.push_back(module);
  };
  for (const auto& sink : *sinks) {
    if (propertyOf(sink.properties, groupProperty) != group || group.empty()) continue;
    // Tapped streams go back to their taps when the taps are ours, else to the default output.
    if (!taps.detachFrom(sink.name)) {
      evacuate(context_, *streams, sink.index, server->defaultSinkName);
    }
    add(sink.ownerModule);
  }
  for (const auto& stream : *streams) {
    if (!group.empty() && propertyOf(stream.properties, groupProperty) == group) {
      add(stream.ownerModule);
    }
  }
  add(source.ownerModule);
  unloadInOrder(context_, modules);
  return status::ok;
}

void removeOrphans(PulseContext& context) {
  const auto sinks = context.sinks();
  const auto sources = context.sources();
  const auto streams = context.sinkInputs();
  const auto server = context.serverInfo();
  if (!sinks || !sources || !streams || !server) return;
  std::vector<std::uint32_t> modules;
  std::set<std::uint32_t> seen;
  const auto orphaned = [](const Properties& properties) {
    return properties.count(roleProperty) != 0 &&
           ownerIsGone(propertyOf(properties, ownerProperty));
  };
  const auto add = [&](std::uint32_t module) {
    if (module != PA_INVALID_INDEX && seen.insert(module).second) modules.push_back(module);
  };
  for (const auto& source : *sources) {
    if (orphaned(source.properties)) add(source.ownerModule);
  }
  for (const auto& stream : *streams) {
    if (orphaned(stream.properties)) add(stream.ownerModule);
  }
  for (const auto& sink : *sinks) {
    if (!orphaned(sink.properties)) continue;
    evacuate(context, *streams, sink.index, server->defaultSinkName);
    add(sink.ownerModule);
  }
  for (const std::uint32_t module : modules) context.unloadModule(module);
}

}  // namespace vellory::pulse
