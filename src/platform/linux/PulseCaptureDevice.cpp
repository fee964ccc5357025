#include "platform/linux/PulseCaptureDevice.hpp"

namespace vellory::pulse {

OSStatus PulseCaptureDevice::create(const DescriptionDictionary&, PulseTaps&, std::string&) {
  return status::illegalOperation;
}

OSStatus PulseCaptureDevice::destroy(const DeviceInfo&) {
  return status::illegalOperation;
}

}  // namespace vellory::pulse
