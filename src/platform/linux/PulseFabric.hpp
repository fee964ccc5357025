#pragma once

#include <string>

#include "platform/linux/PulseContext.hpp"
#include "shared/AudioTypes.hpp"
#include "shared/DescriptionDictionary.hpp"

namespace vellory::pulse {

// The output fabric: one combining sink named by the description's UID that plays on every
// sub-device. `outSinkName` is the sink that stands for it. Called with the hardware's lock held.
OSStatus createFabric(PulseContext& context, const DescriptionDictionary& description,
                      std::string& outSinkName);

// Removes a device that createFabric made; any other sink is refused with 'nope'.
OSStatus destroyFabric(PulseContext& context, const DeviceInfo& sink);

}  // namespace vellory::pulse
