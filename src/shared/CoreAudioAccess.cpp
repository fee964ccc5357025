#include "shared/CoreAudioAccess.hpp"

#include <optional>

namespace vellory {

ToolIdentity captureIdentity() {
  return {AccessVariant::capture, systemObjectID, "Kandimer Application Capture",
          "com.vellory.application-capture"};
}

ToolIdentity fabricIdentity() {
  return {AccessVariant::fabric, systemObjectID, "Kandimer Output Fabric",
          "com.kandimer.output-fabric"};
}

std::vector<AudioObjectID> CoreAudioAccess::objectIDs(std::uint32_t selector) {
  const bool fabric = identity_.variant == AccessVariant::fabric;
  const PropertyAddress address{selector};
  std::uint32_t size = 0;
  OSStatus status = hardware_.getPropertyDataSize(identity_.systemObject, address, size);
  if (status != 0) {
    throw ToolError::status(fabric ? "Read device-list size" : "Read object-list size", status);
  }
  std::vector<AudioObjectID> ids(size / sizeof(AudioObjectID), 0);
  std::uint32_t byteCount = size;
  status = hardware_.getPropertyData(identity_.systemObject, address, byteCount, ids.data());
  if (status != 0) {
    throw ToolError::status(fabric ? "Read device list" : "Read object list", status);
  }
  // An object that went away between the two calls shortens the data; entries the read did
  // not write would otherwise show up as object 0.
  if (byteCount < size) ids.resize(byteCount / sizeof(AudioObjectID));
  return ids;
}

std::string CoreAudioAccess::string(AudioObjectID object, std::uint32_t selector) {
  std::optional<std::string> text;
  const OSStatus status = hardware_.getStringProperty(object, PropertyAddress{selector}, text);
  if (status != 0) {
    throw ToolError::status("Read string property " + std::to_string(selector), status);
  }
  return text.value_or(std::string());
}

void CoreAudioAccess::destroyExistingAggregate() {
  const bool fabric = identity_.variant == AccessVariant::fabric;
  for (const AudioObjectID device : objectIDs(selector::devices)) {
    std::string uid;
    try {
      uid = string(device, selector::deviceUID);
    } catch (const ToolError&) {
      if (fabric) continue;
      throw;
    }
    if (uid != identity_.aggregateUID) continue;
    const OSStatus status = hardware_.destroyAggregateDevice(device);
    if (status != 0) {
      throw ToolError::status(
          fabric ? "Destroy existing output fabric" : "Destroy stale aggregate device", status);
    }
  }
}

}  // namespace vellory
