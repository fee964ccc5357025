#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "shared/CoreAudioAccess.hpp"

namespace vellory::capture {

// An input device found by name: its object, its UID and its total input channels (at least 1).
struct InputDeviceMatch {
  AudioObjectID objectID = 0;
  std::string uid;
  std::uint32_t channels = 0;
};

// The first device, in list order, whose name is exactly the trimmed `name` and that has input
// channels. A blank name finds nothing without reading the device list.
std::optional<InputDeviceMatch> findInputDevice(CoreAudioAccess& access, const std::string& name);

// The live input's contribution to the capture: the device, its channel count with the pad
// channel included, and the pad tap when one was made.
struct LiveInputResult {
  std::optional<std::string> deviceUID;
  std::uint32_t channels = 0;
  std::optional<std::string> padTapUID;
};

}  // namespace vellory::capture
