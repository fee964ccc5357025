#include "shared/BufferList.hpp"

#include <algorithm>
#include <cstring>

#include "shared/PropertyReads.hpp"

namespace vellory {

std::vector<std::byte> encodeBufferList(const std::vector<std::uint32_t>& channelsPerBuffer) {
  const std::size_t count = channelsPerBuffer.size();
  const std::size_t entries = count == 0 ? 1 : count;
  std::vector<std::byte> bytes(bufferListHeaderBytes + entries * bufferListEntryBytes);
  const auto count32 = static_cast<std::uint32_t>(count);
  std::memcpy(bytes.data(), &count32, sizeof count32);
  for (std::size_t i = 0; i < count; ++i) {
    std::memcpy(bytes.data() + bufferListHeaderBytes + i * bufferListEntryBytes,
                &channelsPerBuffer[i], sizeof(std::uint32_t));
  }
  return bytes;
}

std::uint64_t sumBufferListChannels(const void* data, std::size_t byteCount) {
  if (data == nullptr || byteCount < sizeof(std::uint32_t)) return 0;
  const auto* bytes = static_cast<const std::byte*>(data);
  std::uint32_t count = 0;
  std::memcpy(&count, bytes, sizeof count);
  if (count == 0) return 0;
  const std::size_t room = byteCount < bufferListHeaderBytes
                               ? 0
                               : (byteCount - bufferListHeaderBytes) / bufferListEntryBytes;
  if (count > room) return 0;
  std::uint64_t sum = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t channels = 0;
    std::memcpy(&channels, bytes + bufferListHeaderBytes + i * bufferListEntryBytes,
                sizeof channels);
    sum += channels;
  }
  return sum;
}

StreamChannels readStreamChannels(AudioHardware& hardware, AudioObjectID device,
                                  const PropertyAddress& address) {
  // Eight-byte elements: the platform writes pointers into the list.
  const SizedRead<std::uint64_t> read = readSized<std::uint64_t>(hardware, device, address);
  StreamChannels result{read.status, read.sizeFailed, 0};
  if (read.status == 0) result.channels = sumBufferListChannels(read.data.data(), read.bytes);
  return result;
}

}  // namespace vellory
