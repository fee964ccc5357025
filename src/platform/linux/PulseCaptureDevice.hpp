#pragma once

#include <string>

#include "platform/linux/PulseContext.hpp"
#include "platform/linux/PulseTaps.hpp"
#include "shared/DescriptionDictionary.hpp"

namespace vellory::pulse {

// The capture aggregate device: one input device whose channels carry the live input, the
// pad and the taps in the order of the description. Called with the hardware's lock held.
class PulseCaptureDevice {
 public:
  explicit PulseCaptureDevice(PulseContext& context) : context_(context) {}

  // Builds the device; `outSourceName` is the source that stands for it.
  OSStatus create(const DescriptionDictionary& description, PulseTaps& taps,
                  std::string& outSourceName);
  OSStatus destroy(const DeviceInfo& source);

 private:
  PulseContext& context_;
};

}  // namespace vellory::pulse
