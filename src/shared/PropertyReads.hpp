#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/AudioHardware.hpp"

namespace vellory {

// The reads every tool makes of the object model, each giving the platform's status rather than
// throwing, so that each caller decides what a failure means to it.

// A value of variable size: the size read, then the data read into elements of T (so that the
// data keeps T's alignment). `bytes` is what the data read wrote, never more than the size.
template <class T>
struct SizedRead {
  OSStatus status = 0;      // the first read that failed, else 0
  bool sizeFailed = false;  // whether that was the size read
  std::vector<T> data;
  std::uint32_t bytes = 0;
};
template <class T>
SizedRead<T> readSized(AudioHardware& hardware, AudioObjectID object,
                       const PropertyAddress& address) {
  SizedRead<T> read;
  std::uint32_t size = 0;
  read.status = hardware.getPropertyDataSize(object, address, size);
  if (read.status != 0) {
    read.sizeFailed = true;
    return read;
  }
  read.data.resize((static_cast<std::size_t>(size) + sizeof(T) - 1) / sizeof(T));
  std::uint32_t byteCount = size;
  read.status = hardware.getPropertyData(object, address, byteCount, read.data.data());
  if (read.status == 0) read.bytes = std::min(byteCount, size);
  return read;
}

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
