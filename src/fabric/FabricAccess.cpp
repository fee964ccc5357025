#include "fabric/FabricAccess.hpp"

#include "fabric/FabricError.hpp"

namespace vellory::fabric {

AccessVariant fabricAccess() {
  AccessVariant variant;
  variant.aggregateName = "Kandimer Output Fabric";
  variant.aggregateUID = "com.kandimer.output-fabric";
  variant.listSizeFailure = "Read device-list size";
  variant.listFailure = "Read device list";
  variant.destroyFailure = "Destroy existing output fabric";
  variant.skipsUnreadableDevices = true;
  variant.fail = [](const std::string& operation, OSStatus status) {
    throw FabricError::status(operation, status);
  };
  return variant;
}

}  // namespace vellory::fabric
