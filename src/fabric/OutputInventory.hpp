#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/CoreAudioAccess.hpp"

namespace vellory::fabric {

// One usable output device, as `list` shows it and `ensure` matches members against it.
struct OutputInventoryEntry {
  AudioObjectID objectID = 0;
  std::string uid;
  std::string name;
  std::int64_t channels = 0;  // at least 1
  double sampleRate = 0;

  bool operator==(const OutputInventoryEntry&) const = default;
};

// Every usable output device in the platform's order, leaving out silently any device whose
// channels, UID, name or sample rate cannot be read, that has no output channels, an empty UID,
// or the tool's own aggregate UID. Calling thread only; throws the device-list read failure.
std::vector<OutputInventoryEntry> allOutputDevices(CoreAudioAccess& access);

// Total output channels of a device. A buffer list whose count claims more buffers than the
// returned bytes hold counts as no channels. Calling thread only; throws ToolError `status`
// "Read output stream configuration size" or "Read output stream configuration".
std::int64_t outputChannels(CoreAudioAccess& access, AudioObjectID device);

}  // namespace vellory::fabric
