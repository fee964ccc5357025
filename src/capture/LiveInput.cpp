#include "capture/LiveInput.hpp"

#include <vector>

#include "shared/BufferList.hpp"

namespace vellory {

namespace {

std::string trimmed(const std::string& text) {
  const char* space = " \t\n\r\v\f";
  const auto first = text.find_first_not_of(space);
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(space);
  return text.substr(first, last - first + 1);
}

std::uint64_t inputChannels(AudioHardware& hardware, AudioObjectID device) {
  const PropertyAddress address{selector::streamConfiguration, scope::input, elementMain};
  std::uint32_t size = 0;
  if (hardware.getPropertyDataSize(device, address, size) != 0 || size == 0) return 0;
  // Kept 8-byte aligned, as the platform's buffer list needs.
  std::vector<std::uint64_t> buffer((size + 7) / 8);
  std::uint32_t byteCount = size;
  if (hardware.getPropertyData(device, address, byteCount, buffer.data()) != 0) return 0;
  return sumBufferListChannels(buffer.data(), std::min(byteCount, size));
}

}  // namespace

std::optional<InputDeviceMatch> findInputDevice(CoreAudioAccess& access, const std::string& name) {
  const std::string wanted = trimmed(name);
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

}  // namespace vellory
