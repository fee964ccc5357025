#include "platform/linux/PulseFabric.hpp"

namespace vellory::pulse {

OSStatus createFabric(PulseContext&, const DescriptionDictionary&, std::string&) {
  return status::illegalOperation;
}

OSStatus destroyFabric(PulseContext&, const DeviceInfo&) {
  return status::illegalOperation;
}

}  // namespace vellory::pulse
