#include "shared/BufferList.hpp"

#include <algorithm>
#include <cstring>

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
  StreamChannels result;
  std::uint32_t size = 0;
  result.status = hardware.getPropertyDataSize(device, address, size);
  if (result.status != 0) {
    result.sizeFailed = true;
    return result;
  }
  std::vector<std::uint64_t> buffer((static_cast<std::size_t>(size) + 7) / 8);
  std::uint32_t byteCount = size;
  result.status = hardware.getPropertyData(device, address, byteCount, buffer.data());
  if (result.status != 0) return result;
  result.channels = sumBufferListChannels(buffer.data(), std::min(byteCount, size));
  return result;
}

}  // namespace vellory
