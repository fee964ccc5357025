#include "fabric/OutputInventory.hpp"

#include <cmath>

#include "shared/BufferList.hpp"

namespace vellory {

std::int64_t outputChannels(CoreAudioAccess& access, AudioObjectID device) {
  const PropertyAddress address{selector::streamConfiguration, scope::output, elementWildcard};
  AudioHardware& hardware = access.hardware();
  std::uint32_t size = 0;
  OSStatus status = hardware.getPropertyDataSize(device, address, size);
  if (status != 0) throw FabricError::status("Read output stream configuration size", status);
  // Whole 64-bit words keep the buffer list's pointers aligned as the platform writes them.
  std::vector<std::uint64_t> buffer((static_cast<std::size_t>(size) + 7) / 8);
  std::uint32_t byteCount = size;
  status = hardware.getPropertyData(device, address, byteCount, buffer.data());
  if (status != 0) throw FabricError::status("Read output stream configuration", status);
  const std::size_t returned = std::min<std::size_t>(byteCount, size);
  return static_cast<std::int64_t>(sumBufferListChannels(buffer.data(), returned));
}

std::vector<OutputInventoryEntry> allOutputDevices(CoreAudioAccess& access) {
  std::vector<OutputInventoryEntry> entries;
  for (const AudioObjectID device : access.objectIDs(selector::devices)) {
    try {
      OutputInventoryEntry entry;
      entry.objectID = device;
      entry.channels = outputChannels(access, device);
      if (entry.channels <= 0) continue;
      entry.uid = access.string(device, selector::deviceUID);
      if (entry.uid.empty() || entry.uid == access.identity().aggregateUID) continue;
      entry.name = access.string(device, selector::objectName);
      entry.sampleRate = access.scalar<double>(device, selector::nominalSampleRate, 48000.0);
      // A rate that is not a number cannot be written as JSON; such a device is not usable.
      if (!std::isfinite(entry.sampleRate)) continue;
      entries.push_back(std::move(entry));
    } catch (const ToolError&) {
      continue;
    }
  }
  return entries;
}

}  // namespace vellory
