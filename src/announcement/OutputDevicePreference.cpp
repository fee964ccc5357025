#include "announcement/OutputDevicePreference.hpp"

#include <algorithm>
#include <vector>

#include "shared/BufferList.hpp"
#include "shared/PropertyReads.hpp"
#include "shared/UnicodeText.hpp"

namespace vellory::announcement {

std::uint32_t outputChannelCount(AudioHardware& hardware, AudioObjectID device) {
  const StreamChannels read = readStreamChannels(
      hardware, device, {selector::streamConfiguration, scope::output, elementMain});
  if (read.status != status::ok) return 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(read.channels, UINT32_MAX));
}

std::string deviceName(AudioHardware& hardware, AudioObjectID device) {
  std::string name;
  readString(hardware, device, PropertyAddress{selector::objectName}, name);
  return name;
}

AudioObjectID preferredOutputDevice(AudioHardware& hardware) {
  const ObjectList list =
      readObjectList(hardware, systemObjectID, PropertyAddress{selector::devices});
  if (list.status != status::ok) return 0;

  AudioObjectID defaultOutput = 0;
  if (readScalar(hardware, systemObjectID, PropertyAddress{selector::defaultOutputDevice},
                 defaultOutput) != status::ok) {
    defaultOutput = 0;
  }

  std::vector<AudioObjectID> stereo;
  for (const AudioObjectID device : list.ids) {
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
