#include "fabric/OutputInventory.hpp"

#include <cmath>

#include "fabric/FabricError.hpp"
#include "shared/BufferList.hpp"

namespace vellory::fabric {

std::int64_t outputChannels(CoreAudioAccess& access, AudioObjectID device) {
  const StreamChannels read = readStreamChannels(
      access.hardware(), device, {selector::streamConfiguration, scope::output, elementWildcard});
  if (read.status != 0) {
    throw FabricError::status(read.sizeFailed ? "Read output stream configuration size"
                                              : "Read output stream configuration",
                              read.status);
  }
  return static_cast<std::int64_t>(read.channels);
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
      if (entry.uid.empty() || entry.uid == access.variant().aggregateUID) continue;
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

}  // namespace vellory::fabric
