#include "shared/CoreAudioAccess.hpp"

#include <exception>

namespace vellory {

namespace {

std::string stringReadFailure(std::uint32_t selector) {
  return "Read string property " + std::to_string(selector);
}

}  // namespace

void CoreAudioAccess::fail(const std::string& operation, OSStatus status) const {
  variant_.fail(operation, status);
  std::terminate();  // a variant whose `fail` returns is a programming error
}

std::vector<AudioObjectID> CoreAudioAccess::objectIDs(std::uint32_t selector) {
  ObjectList list = readObjectList(hardware_, variant_.systemObject, PropertyAddress{selector});
  if (list.status != 0) {
    fail(list.sizeFailed ? variant_.listSizeFailure : variant_.listFailure, list.status);
  }
  return std::move(list.ids);
}

std::string CoreAudioAccess::string(AudioObjectID object, std::uint32_t selector) {
  std::string text;
  const OSStatus status = readString(hardware_, object, PropertyAddress{selector}, text);
  if (status != 0) fail(stringReadFailure(selector), status);
  return text;
}

void CoreAudioAccess::destroyExistingAggregate() {
  for (const AudioObjectID device : objectIDs(selector::devices)) {
    std::string uid;
    const OSStatus read = readString(hardware_, device, PropertyAddress{selector::deviceUID}, uid);
    if (read != 0) {
      if (variant_.skipsUnreadableDevices) continue;
      fail(stringReadFailure(selector::deviceUID), read);
    }
    if (uid != variant_.aggregateUID) continue;
    const OSStatus status = hardware_.destroyAggregateDevice(device);
    if (status != 0) fail(variant_.destroyFailure, status);
  }
}

}  // namespace vellory
