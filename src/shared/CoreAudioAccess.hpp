#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/AudioHardware.hpp"
#include "shared/PropertyReads.hpp"
#include "shared/ToolError.hpp"

namespace vellory {

// How one tool uses the access layer: the aggregate device it owns, the texts of its failures,
// what it tolerates and the error it throws. The capture and fabric tools each define theirs.
struct AccessVariant {
  std::string aggregateName;
  std::string aggregateUID;
  std::string listSizeFailure;
  std::string listFailure;
  std::string destroyFailure;
  // Whether destroyExistingAggregate skips a device whose UID cannot be read, rather than fail.
  bool skipsUnreadableDevices = false;
  // Throws the tool's `status` error for a failed operation; never returns.
  void (*fail)(const std::string& operation, OSStatus status) = nullptr;
  AudioObjectID systemObject = systemObjectID;
};

// Reads object lists, fixed-size values and strings, and removes a tool's leftover aggregate
// device. Failures are thrown as the variant's `status` error naming the operation. Keeps no
// state beyond the variant; calls from one thread at a time.
class CoreAudioAccess {
 public:
  CoreAudioAccess(AudioHardware& hardware, AccessVariant variant)
      : hardware_(hardware), variant_(std::move(variant)) {}

  AudioHardware& hardware() { return hardware_; }
  const AccessVariant& variant() const { return variant_; }

  // The object list a selector of the system object holds, in the platform's order.
  std::vector<AudioObjectID> objectIDs(std::uint32_t selector);

  template <class T>
  T scalar(AudioObjectID object, std::uint32_t selector, T initial) {
    T value = initial;
    const OSStatus status = readScalar(hardware_, object, PropertyAddress{selector}, value);
    if (status != 0) fail("Read property " + std::to_string(selector), status);
    return value;
  }

  // A string property; the empty text when the platform stores none.
  std::string string(AudioObjectID object, std::uint32_t selector);

  // Destroys every device whose UID is the tool's aggregate UID.
  void destroyExistingAggregate();

 private:
  [[noreturn]] void fail(const std::string& operation, OSStatus status) const;

  AudioHardware& hardware_;
  AccessVariant variant_;
};

}  // namespace vellory
