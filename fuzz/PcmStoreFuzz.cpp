// The PCM store's chunking: any run of appends and takes hands out exactly the bytes appended,
// in order, in whole frames, and an ended store gives up only a trailing partial frame.
#include <vector>

#include "FuzzInput.hpp"
#include "player/PcmStore.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vellory::fuzz::require;
  using vellory::player::PcmStore;
  PcmStore store;
  std::vector<std::uint8_t> appended;
  std::vector<std::uint8_t> taken;
  std::vector<std::uint8_t> block;
  std::uint8_t next = 0;
  for (std::size_t i = 0; i + 2 < size; i += 3) {
    // Sizes up to three chunks, so that chunk edges are met from every side.
    const std::size_t amount = (static_cast<std::size_t>(data[i + 1]) << 8 | data[i + 2]) * 3 + 1;
    switch (data[i] % 3) {
      case 0:
        block.resize(amount);
        for (auto& byte : block) byte = next++;
        store.append(block.data(), block.size());
        appended.insert(appended.end(), block.begin(), block.end());
        break;
      case 1: {
        block.assign(amount, 0);
        const auto got = store.take(block.data(), block.size());
        require(got.bytes % PcmStore::bytesPerFrame == 0 && got.bytes <= amount, "whole frames");
        taken.insert(taken.end(), block.begin(), block.begin() + got.bytes);
        break;
      }
      default:
        store.append(nullptr, 0);
        break;
    }
    require(store.bufferedBytes() == appended.size() - taken.size(), "buffered count");
  }
  store.markEnd();
  block.assign(PcmStore::chunkBytes, 0);
  for (;;) {
    const auto got = store.take(block.data(), block.size());
    taken.insert(taken.end(), block.begin(), block.begin() + got.bytes);
    if (got.ended) break;
    require(got.bytes > 0, "no progress before the end");
  }
  require(appended.size() - taken.size() < PcmStore::bytesPerFrame, "only a partial frame lost");
  require(std::equal(taken.begin(), taken.end(), appended.begin()), "bytes in order");
  return 0;
}
