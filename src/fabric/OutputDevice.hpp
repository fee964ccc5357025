#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "fabric/OutputInventory.hpp"

namespace vellory::fabric {

// How the host names a device to this tool: the prefix followed by the device's UID.
inline constexpr const char* stableIdPrefix = "coreaudio:";
std::string stableIdFor(const std::string& uid);

// One record of the `list` document; the field names are its JSON keys.
struct OutputDevice {
  std::string name;
  std::string stableId;
  std::int64_t outputChannels = 0;
  double sampleRate = 0;
  double preferredSampleRate = 0;
  bool defaultOutput = false;
  bool isVirtual = false;  // key "virtual"
  bool available = true;
  std::string backend = "coreaudio";

  bool operator==(const OutputDevice&) const = default;
};

// Whether a device name marks an aggregate or virtual device, in any letter case.
bool isVirtualDeviceName(const std::string& name);

// The record for an inventory entry; `defaultDevice` is the system's default output, 0 if unknown.
OutputDevice outputDeviceFor(const OutputInventoryEntry& entry, AudioObjectID defaultDevice);

nlohmann::json encode(const OutputDevice& device);

}  // namespace vellory::fabric
