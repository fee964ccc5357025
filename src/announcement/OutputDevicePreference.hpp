#pragma once

#include <cstdint>
#include <string>

#include "shared/AudioHardware.hpp"

namespace vellory::announcement {

// Output channels of a device summed over its output streams; 0 when they cannot be read.
// Any thread, as the hardware allows.
std::uint32_t outputChannelCount(AudioHardware& hardware, AudioObjectID device);

// The device's name; the empty text when it cannot be read.
std::string deviceName(AudioHardware& hardware, AudioObjectID device);

// The device a stereo announcement plays on best: the default output when it has exactly two
// output channels, else the first two-channel device whose name contains "speaker" (any case),
// else the first two-channel device, else the default output whatever it has (0 when unknown
// or the device list cannot be read).
AudioObjectID preferredOutputDevice(AudioHardware& hardware);

}  // namespace vellory::announcement
