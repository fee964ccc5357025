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

// Unloads the given modules in reverse load order: the source first, the mixer last.
void unloadInOrder(PulseContext& context, const std::vector<std::uint32_t>& modules) {
  for (auto it = modules.rbegin(); it != modules.rend(); ++it) context.unloadModule(*it);
}

// Unloads the modules that own one of `ours` streams but no sink (the live input's loopback),
// before anything else of the device changes; records them in `gone`.
void unloadLoopbacks(PulseContext& context, const std::vector<DeviceInfo>& sinks,
                     const std::vector<SinkInputInfo>& streams,
                     const std::function<bool(const SinkInputInfo&)>& ours,
                     std::set<std::uint32_t>& gone) {
  std::set<std::uint32_t> sinkModules;
  for (const auto& sink : sinks) sinkModules.insert(sink.ownerModule);
  for (const auto& stream : streams) {
    if (ours(stream) && stream.ownerModule != PA_INVALID_INDEX &&
        sinkModules.count(stream.ownerModule) == 0 && gone.insert(stream.ownerModule).second) {
      context.unloadModule(stream.ownerModule);
    }
  }
}

}  // namespace

bool PulseCaptureDevice::awaitLinks(const std::vector<std::uint32_t>& modules,
                                    const std::function<bool()>& cancelled) {
  // PipeWire connects a module's inner streams a little after the module has loaded; the device
  // is ready only once every one of them is connected (PulseAudio connects them at once).
  const auto ours = [&](std::uint32_t module) {
    return std::find(modules.begin(), modules.end(), module) != modules.end();
  };
  for (int attempt = 0; attempt < 150 && !(cancelled && cancelled()); ++attempt) {
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

OSStatus PulseCaptureDevice::layoutFor(const DescriptionDictionary& description,
                                       const PulseTaps& taps, CaptureLayout& layout) {
  layout.uid = description.text(aggregateKey::uid).value_or("");
  layout.name = description.text(aggregateKey::name).value_or(layout.uid);
  if (layout.uid.empty()) return status::paramError;
  layout.parts = "vellory.capture." + std::to_string(getpid());
  const auto server = context_.serverInfo();
  const auto sources = context_.sources();
  if (!server || !sources) return status::notRunning;
  const bool pipewire = server->serverName.find("PipeWire") != std::string::npos;
  layout.liveLatencyMs = pipewire ? pipewireLiveInputLatencyMs : liveInputLatencyMs;
  layout.mixerLatencyMs = pipewire ? 0 : mixerLatencyMs;
  layout.positions = pipewire ? PresentedPositions::named : PresentedPositions::waveExtensible;
  layout.liveRoute = pipewire ? LiveRoute::streams : LiveRoute::loopback;
  const DictionaryList subDevices = description.list(aggregateKey::subDeviceList);
  if (!subDevices.empty()) {
    const auto wanted = entryText(subDevices.front(), aggregateKey::subDeviceUID);
    for (const auto& source : *sources) {
      if (wanted && source.name == *wanted) {
        layout.live = CaptureInput{source.name, source.channels, source.channelMap};
      }
    }
    if (!layout.live) return status::badObject;
  }
  for (const auto& entry : description.list(aggregateKey::tapList)) {
    const auto tapUID = entryText(entry, aggregateKey::subTapUID);
    const unsigned channels = tapUID ? taps.channelsOf(*tapUID) : 0;
    if (channels == 0) return status::badObject;
    layout.taps.push_back(CaptureTap{*tapUID, channels});
  }
  return status::ok;
}

namespace {

// The server as a capture build sees it, over one connection and the taps.
class PulseCaptureServer : public CaptureServer {
 public:
  PulseCaptureServer(PulseContext& context, PulseTaps& taps, PulseMixerHold& hold,
                     PulseLiveFeed& feed,
                     std::function<bool(const std::vector<std::uint32_t>&)> linked)
      : context_(context), taps_(taps), hold_(hold), feed_(feed), linked_(std::move(linked)) {}
  std::optional<std::uint32_t> load(const PlannedModule& module) override {
    return context_.loadModule(module.module, module.arguments);
  }
  void unload(std::uint32_t module) override { context_.unloadModule(module); }
  void attach(const std::string& tapUID, const std::string& sink) override {
    taps_.attach(tapUID, sink);
  }
  void detach(const std::string& sink) override { taps_.detachFrom(sink); }
  bool linked(const std::vector<std::uint32_t>& modules) override { return linked_(modules); }
  bool hold(const MixerHold& wanted) override { return hold_.hold(wanted); }
  void release() override { hold_.release(); }
  bool feed(const LiveFeed& wanted) override { return feed_.start(wanted); }
  void unfeed() override { feed_.stop(); }

 private:
  PulseContext& context_;
  PulseTaps& taps_;
  PulseMixerHold& hold_;
  PulseLiveFeed& feed_;
  std::function<bool(const std::vector<std::uint32_t>&)> linked_;
};

}  // namespace

OSStatus PulseCaptureDevice::create(const DescriptionDictionary& description, PulseTaps& taps,
                                    std::string& outSourceName,
                                    const std::function<bool()>& cancelled) {
  abandon(taps);
  CaptureLayout layout;
  if (const OSStatus found = layoutFor(description, taps, layout); found != status::ok) {
    return found;
  }
  const std::vector<PlannedModule> plan = planCaptureDevice(layout);
  if (plan.empty()) return status::illegalOperation;
  PulseCaptureServer server(
      context_, taps, hold_, feed_,
      [&](const std::vector<std::uint32_t>& modules) { return awaitLinks(modules, cancelled); });
  switch (buildCapture(plan, server, built_)) {
    case BuildOutcome::built:
      outSourceName = layout.uid;
      return status::ok;
    case BuildOutcome::loadFailed:
      return status::illegalOperation;
    case BuildOutcome::notLinked:
      break;
  }
  return status::notRunning;
}

void PulseCaptureDevice::forget() {
  feed_.stop();
  hold_.release();
  built_ = BuiltCapture{};
}

void PulseCaptureDevice::abandon(PulseTaps& taps) {
  PulseCaptureServer server(context_, taps, hold_, feed_, [](const auto&) { return true; });
  removeCapture(server, built_);
}

OSStatus PulseCaptureDevice::destroy(const DeviceInfo& source, PulseTaps& taps) {
  if (propertyOf(source.properties, roleProperty) != "capture") return status::illegalOperation;
  const std::string group = propertyOf(source.properties, groupProperty);
  const auto sinks = context_.sinks();
  const auto streams = context_.sinkInputs();
  const auto server = context_.serverInfo();
  if (!sinks || !streams || !server) return status::notRunning;

  feed_.stop();
  hold_.release();
  std::set<std::uint32_t> seen;
  unloadLoopbacks(
      context_, *sinks, *streams,
      [&](const SinkInputInfo& stream) {
        return !group.empty() && propertyOf(stream.properties, groupProperty) == group;
      },
      seen);
  std::vector<std::uint32_t> modules;  // in load order: mixer, parts, source
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
  add(source.ownerModule);
  unloadInOrder(context_, modules);
  built_ = BuiltCapture{};
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
  // A killed run's live input loopback goes first, as in an orderly teardown.
  unloadLoopbacks(
      context, *sinks, *streams,
      [&](const SinkInputInfo& stream) { return orphaned(stream.properties); }, seen);
  for (const auto& source : *sources) {
    if (orphaned(source.properties)) add(source.ownerModule);
  }
  for (const auto& sink : *sinks) {
    if (!orphaned(sink.properties)) continue;
    evacuate(context, *streams, sink.index, server->defaultSinkName);
    add(sink.ownerModule);
  }
  for (const std::uint32_t module : modules) context.unloadModule(module);
}

}  // namespace vellory::pulse
