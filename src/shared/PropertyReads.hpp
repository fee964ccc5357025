#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/AudioHardware.hpp"

namespace vellory {

// The reads every tool makes of the object model, each giving the platform's status rather than
// throwing, so that each caller decides what a failure means to it.

// An object list: its size read, then its data read. An object that went away between the two
// reads shortens the data; only the entries the read wrote are kept.
struct ObjectList {
  OSStatus status = 0;      // the first read that failed, else 0
  bool sizeFailed = false;  // whether that was the size read
  std::vector<AudioObjectID> ids;
};
ObjectList readObjectList(AudioHardware& hardware, AudioObjectID object,
                          const PropertyAddress& address);

// A fixed-size value; `value` keeps what it held when the read fails.
template <class T>
OSStatus readScalar(AudioHardware& hardware, AudioObjectID object, const PropertyAddress& address,
                    T& value) {
  std::uint32_t size = sizeof(T);
  return hardware.getPropertyData(object, address, size, &value);
}

// A string; the empty text when the platform stores none or the read fails.
OSStatus readString(AudioHardware& hardware, AudioObjectID object, const PropertyAddress& address,
                    std::string& text);

}  // namespace vellory
