#include "platform/linux/PulseFabric.hpp"

#include <algorithm>
#include <vector>

#include "platform/linux/PulseHardware.hpp"

namespace vellory::pulse {

namespace {

constexpr const char* combineModule = "module-combine-sink";
constexpr const char* fabricRole = "fabric";
constexpr const char* clockMasterProperty = "vellory.clock-master";

// Module arguments are split on spaces and quotes, the member list on commas, and property
// lists are quoted once more inside the argument: a value holding any of these, or a control
// character, cannot be passed through faithfully and is refused instead.
bool passable(const std::string& value) {
  return std::none_of(value.begin(), value.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || c == '\'' || c == '"' || c == '\\' || c == ',';
  });
}

OSStatus refusal(PulseContext& context) {
  return context.connected() ? status::unspecified : status::notRunning;
}

}  // namespace

OSStatus createFabric(PulseContext& context, const DescriptionDictionary& description,
                      std::string& outSinkName) {
  const std::string uid = description.text(aggregateKey::uid).value_or("");
  const std::string name = description.text(aggregateKey::name).value_or("");
  const std::string master = description.text(aggregateKey::mainSubDevice).value_or("");
  if (uid.empty() || !passable(uid) || !passable(name) || !passable(master)) {
    return status::paramError;
  }
  // A sink listed twice would get two streams of the same sound, which doubles it on PulseAudio
  // and leaves the second unconnected on PipeWire; each member plays once.
  std::vector<std::string> members;
  for (const auto& entry : description.list(aggregateKey::subDeviceList)) {
    const auto found = entryText(entry, aggregateKey::subDeviceUID);
    if (!found || found->empty() || !passable(*found)) return status::paramError;
    if (std::find(members.begin(), members.end(), *found) == members.end()) {
      members.push_back(*found);
    }
  }
  if (members.empty()) return status::paramError;

  const auto sinks = context.sinks();
  if (!sinks) return status::notRunning;
  std::string memberList;
  for (const auto& member : members) {
    const bool present = std::any_of(sinks->begin(), sinks->end(), [&](const DeviceInfo& sink) {
      return sink.name == member && !isInternalDevice(sink);
    });
    if (!present) return status::badObject;
    memberList += (memberList.empty() ? "" : ",") + member;
  }

  // No owner property: the fabric is meant to outlive the process that made it, so the orphan
  // sweep of our other server objects must never take it for a leftover.
  const std::string argument = "sink_name=\"" + uid + "\" sink_properties='device.description=\"" +
                               name + "\" " + roleProperty + "=" + fabricRole + " " +
                               clockMasterProperty + "=\"" + master + "\"' slaves=\"" + memberList +
                               "\"";
  if (!context.loadModule(combineModule, argument)) return refusal(context);
  outSinkName = uid;
  return status::ok;
}

OSStatus destroyFabric(PulseContext& context, const DeviceInfo& sink) {
  const auto role = sink.properties.find(roleProperty);
  if (role == sink.properties.end() || role->second != fabricRole ||
      sink.ownerModule == PA_INVALID_INDEX) {
    return status::illegalOperation;
  }
  const auto modules = context.modules();
  if (!modules) return status::notRunning;
  const bool ours = std::any_of(modules->begin(), modules->end(), [&](const ModuleInfo& module) {
    return module.index == sink.ownerModule && module.name == combineModule;
  });
  if (!ours) return status::illegalOperation;
  if (!context.unloadModule(sink.ownerModule)) return refusal(context);
  return status::ok;
}

}  // namespace vellory::pulse
