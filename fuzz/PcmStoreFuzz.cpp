// The PCM store's chunking: any run of appends and takes hands out exactly the bytes appended,
// in order, in whole frames, and an ended store gives up only a trailing partial frame.
#include <array>
#include <cstring>
#include <vector>

#include "FuzzInput.hpp"
#include "player/PcmStore.hpp"

namespace {

using vellory::player::PcmStore;

constexpr std::size_t largest = 3 * PcmStore::chunkBytes;
constexpr std::size_t appendLimit = 6 * PcmStore::chunkBytes;

// Byte k of everything appended is k modulo 256: any byte out of place shows.
const std::array<std::uint8_t, largest + 256>& pattern() {
  static const auto bytes = [] {
    std::array<std::uint8_t, largest + 256> made{};
    for (std::size_t k = 0; k < made.size(); ++k) made[k] = static_cast<std::uint8_t>(k);
    return made;
  }();
  return bytes;
}

// The size of one step: small, up to a few frames past a chunk, or up to three chunks.
std::size_t amountOf(std::uint8_t scale, std::uint8_t high, std::uint8_t low) {
  const std::size_t value = static_cast<std::size_t>(high) << 8 | low;
  switch (scale % 3) {
    case 0:
      return low % 64 + 1;
    case 1:
      return value % (PcmStore::chunkBytes + 16) + 1;
    default:
      return value * 3 + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vellory::fuzz::require;
  PcmStore store;
  std::size_t appended = 0;
  std::size_t taken = 0;
  static std::vector<std::uint8_t> block(largest);
  const auto takeInto = [&](std::size_t capacity) {
    const auto got = store.take(block.data(), capacity);
    require(got.bytes % PcmStore::bytesPerFrame == 0 && got.bytes <= capacity, "whole frames");
    require(std::memcmp(block.data(), pattern().data() + taken % 256, got.bytes) == 0,
            "bytes in order");
    taken += got.bytes;
    return got;
  };
  for (std::size_t i = 0; i + 2 < size; i += 3) {
    const std::size_t amount = amountOf(data[i] >> 2, data[i + 1], data[i + 2]);
    switch (data[i] & 3) {
      case 0:
      case 1:
        // Enough to cross several chunk edges, little enough to keep each input quick.
        if (appended > appendLimit) break;
        store.append(pattern().data() + appended % 256, amount);
        appended += amount;
        break;
      case 2:
        takeInto(amount);
        break;
      default:
        store.append(nullptr, 0);
        break;
    }
    require(store.bufferedBytes() == appended - taken, "buffered count");
  }
  store.markEnd();
  for (;;) {
    const auto got = takeInto(PcmStore::chunkBytes);
    if (got.ended) break;
    require(got.bytes > 0, "no progress before the end");
  }
  require(appended - taken < PcmStore::bytesPerFrame, "only a partial frame lost");
  return 0;
}
