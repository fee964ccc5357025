#include "fabric/OutputDevice.hpp"

#include "shared/UnicodeText.hpp"

namespace vellory::fabric {

std::string stableIdFor(const std::string& uid) {
  return stableIdPrefix + uid;
}

bool isVirtualDeviceName(const std::string& name) {
  return containsIgnoringCase(name, "aggregate") || containsIgnoringCase(name, "virtual");
}

OutputDevice outputDeviceFor(const OutputInventoryEntry& entry, AudioObjectID defaultDevice) {
  OutputDevice device;
  device.name = entry.name;
  device.stableId = stableIdFor(entry.uid);
  device.outputChannels = entry.channels;
  device.sampleRate = entry.sampleRate;
  device.preferredSampleRate = entry.sampleRate;
  device.defaultOutput = defaultDevice != 0 && entry.objectID == defaultDevice;
  device.isVirtual = isVirtualDeviceName(entry.name);
  return device;
}

nlohmann::json encode(const OutputDevice& device) {
  return {{"name", device.name},
          {"stableId", device.stableId},
          {"outputChannels", device.outputChannels},
          {"sampleRate", device.sampleRate},
          {"preferredSampleRate", device.preferredSampleRate},
          {"defaultOutput", device.defaultOutput},
          {"virtual", device.isVirtual},
          {"available", device.available},
          {"backend", device.backend}};
}

}  // namespace vellory::fabric
