// The buffer-list layout: any bytes read as a list are read within their length, and a list
// built from channel counts reads back as their sum.
#include <cstring>
#include <vector>

#include "FuzzInput.hpp"
#include "shared/BufferList.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellory;
  // A copy of exactly `size` bytes, so that AddressSanitizer sees any read past them.
  std::vector<std::uint8_t> exact(data, data + size);
  (void)sumBufferListChannels(exact.empty() ? nullptr : exact.data(), exact.size());

  std::vector<std::uint32_t> channels(size / 4);
  std::uint64_t expected = 0;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    std::memcpy(&channels[i], data + i * 4, 4);
    expected += channels[i];
  }
  const auto encoded = encodeBufferList(channels);
  fuzz::require(sumBufferListChannels(encoded.data(), encoded.size()) == expected, "round trip");
  fuzz::require(sumBufferListChannels(encoded.data(), encoded.size() - 1) == 0,
                "a list one byte short reads as no channels");
  return 0;
}
