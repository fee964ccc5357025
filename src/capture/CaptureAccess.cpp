#include "capture/CaptureAccess.hpp"

#include "capture/TapError.hpp"

namespace vellory::capture {

AccessVariant captureAccess() {
  AccessVariant variant;
  variant.aggregateName = "Kandimer Application Capture";
  variant.aggregateUID = "com.vellory.application-capture";
  variant.listSizeFailure = "Read object-list size";
  variant.listFailure = "Read object list";
  variant.destroyFailure = "Destroy stale aggregate device";
  variant.skipsUnreadableDevices = false;
  variant.fail = [](const std::string& operation, OSStatus status) {
    throw TapError::status(operation, status);
  };
  return variant;
}

}  // namespace vellory::capture
