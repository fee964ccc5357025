#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "shared/AudioHardware.hpp"

namespace vellory {

// The byte layout of the platform's AudioBufferList on 64-bit systems: a 32-bit buffer
// count, padding to 8 bytes, then per buffer a channel count, a byte size and a data pointer.
constexpr std::size_t bufferListHeaderBytes = 8;
constexpr std::size_t bufferListEntryBytes = 16;

// Builds a buffer list with one buffer per entry of `channelsPerBuffer` and no data.
std::vector<std::byte> encodeBufferList(const std::vector<std::uint32_t>& channelsPerBuffer);

// Adds up the channel counts of a buffer list read from the platform. Reads only within
// `byteCount`: a count that claims more buffers than the bytes hold yields 0 (no usable channels).
std::uint64_t sumBufferListChannels(const void* data, std::size_t byteCount);

// A device's channel count at a stream configuration address: the size read, then the buffer
// list read (kept 8-byte aligned, as the platform writes its pointers), then the sum.
struct StreamChannels {
  OSStatus status = 0;      // the first read that failed, else 0
  bool sizeFailed = false;  // whether that was the size read
  std::uint64_t channels = 0;
};
StreamChannels readStreamChannels(AudioHardware& hardware, AudioObjectID device,
                                  const PropertyAddress& address);

}  // namespace vellory
