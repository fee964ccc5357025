#include "announcement/OutputDevicePreference.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "shared/BufferList.hpp"
#include "shared/UnicodeText.hpp"

namespace vellory::announcement {

std::uint32_t outputChannelCount(AudioHardware& hardware, AudioObjectID device) {
  const StreamChannels read = readStreamChannels(
      hardware, device, {selector::streamConfiguration, scope::output, elementMain});
  if (read.status != status::ok) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(read.channels, UINT32_MAX));
}

std::string deviceName(AudioHardware& hardware, AudioObjectID device) {
  std::optional<std::string> name;
  if (hardware.getStringProperty(device, PropertyAddress{selector::objectName}, name) !=
      status::ok) {
    return {};
  }
  return name.value_or("");
}

AudioObjectID preferredOutputDevice(AudioHardware& hardware) {
  const PropertyAddress listAddress{selector::devices};
  std::uint32_t size = 0;
  if (hardware.getPropertyDataSize(systemObjectID, listAddress, size) != status::ok) return 0;
  std::vector<AudioObjectID> devices(size / sizeof(AudioObjectID));
  std::uint32_t readSize = static_cast<std::uint32_t>(devices.size() * sizeof(AudioObjectID));
  if (!devices.empty() && hardware.getPropertyData(systemObjectID, listAddress, readSize,
                                                   devices.data()) != status::ok) {
    return 0;
  }
  devices.resize(std::min<std::size_t>(devices.size(), readSize / sizeof(AudioObjectID)));

  AudioObjectID defaultOutput = 0;
  std::uint32_t defaultSize = sizeof defaultOutput;
  if (hardware.getPropertyData(systemObjectID, PropertyAddress{selector::defaultOutputDevice},
                               defaultSize, &defaultOutput) != status::ok) {
    defaultOutput = 0;
  }

  std::vector<AudioObjectID> stereo;
  for (const AudioObjectID device : devices) {
    if (outputChannelCount(hardware, device) == 2) stereo.push_back(device);
  }
  if (std::find(stereo.begin(), stereo.end(), defaultOutput) != stereo.end()) {
    return defaultOutput;
  }
  for (const AudioObjectID device : stereo) {
    if (containsIgnoringCase(deviceName(hardware, device), "speaker")) return device;
  }
  if (!stereo.empty()) return stereo.front();
  return defaultOutput;
}

}  // namespace vellory::announcement
