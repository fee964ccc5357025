#include "capture/LiveInput.hpp"

#include <vector>

#include "shared/BufferList.hpp"
#include "shared/UnicodeText.hpp"

namespace vellory::capture {

namespace {

std::uint64_t inputChannels(AudioHardware& hardware, AudioObjectID device) {
  const StreamChannels read = readStreamChannels(
      hardware, device, {selector::streamConfiguration, scope::input, elementMain});
  return read.status == 0 ? read.channels : 0;
}

}  // namespace

std::optional<InputDeviceMatch> findInputDevice(CoreAudioAccess& access, const std::string& name) {
  const std::string wanted(trimmedUnicodeSpace(name));
  if (wanted.empty()) return std::nullopt;
  for (const AudioObjectID device : access.objectIDs(selector::devices)) {
    std::string deviceName;
    try {
      deviceName = access.string(device, selector::objectName);
    } catch (const ToolError&) {
      deviceName.clear();
    }
    if (deviceName != wanted) continue;
    const std::uint64_t channels = inputChannels(access.hardware(), device);
    if (channels == 0 || channels > 0xFFFFFFFFu) continue;
    const std::string uid = access.string(device, selector::deviceUID);
    return InputDeviceMatch{device, uid, static_cast<std::uint32_t>(channels)};
  }
  return std::nullopt;
}

}  // namespace vellory::capture
