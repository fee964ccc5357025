#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/AudioHardware.hpp"
#include "shared/ToolError.hpp"

namespace vellory {

// The two tools read the object model slightly differently; the variant names which one.
enum class AccessVariant { capture, fabric };

struct ToolIdentity {
  AccessVariant variant = AccessVariant::capture;
  AudioObjectID systemObject = systemObjectID;
  std::string aggregateName;
  std::string aggregateUID;
};

ToolIdentity captureIdentity();
ToolIdentity fabricIdentity();

// Reads object lists, fixed-size values and strings, and removes a tool's leftover aggregate
// device. Failures are thrown as ToolError `status` values naming the operation. Keeps no state
// beyond the identity; calls from one thread at a time.
class CoreAudioAccess {
 public:
  CoreAudioAccess(AudioHardware& hardware, ToolIdentity identity)
      : hardware_(hardware), identity_(std::move(identity)) {}

  AudioHardware& hardware() { return hardware_; }
  const ToolIdentity& identity() const { return identity_; }

  // The object list a selector of the system object holds, in the platform's order.
  std::vector<AudioObjectID> objectIDs(std::uint32_t selector);

  template <class T>
  T scalar(AudioObjectID object, std::uint32_t selector, T initial) {
    T value = initial;
    std::uint32_t size = sizeof(T);
    const OSStatus status =
        hardware_.getPropertyData(object, PropertyAddress{selector}, size, &value);
    if (status != 0) throw ToolError::status("Read property " + std::to_string(selector), status);
    return value;
  }

  // A string property; the empty text when the platform stores none.
  std::string string(AudioObjectID object, std::uint32_t selector);

  // Destroys every device whose UID is the tool's aggregate UID.
  void destroyExistingAggregate();

 private:
  AudioHardware& hardware_;
  ToolIdentity identity_;
};

}  // namespace vellory
