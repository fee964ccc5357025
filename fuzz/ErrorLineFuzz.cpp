// Error-line bounding on any bytes: valid UTF-8, no control character, at most the limit.
#include "FuzzInput.hpp"
#include "shared/ErrorLine.hpp"
#include "shared/UnicodeText.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellory;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t limit = size == 0 ? 200 : data[0];
  const std::string bounded = boundedText(text, limit);
  fuzz::require(isValidUtf8(bounded), "bounded text is UTF-8");
  std::size_t characters = 0;
  for (const char c : bounded) {
    const auto byte = static_cast<unsigned char>(c);
    fuzz::require(byte >= 0x20 && byte != 0x7F, "no control character");
    if ((byte & 0xC0) != 0x80) ++characters;
  }
  fuzz::require(characters <= limit, "within the limit");
  const std::string line = errorLine("[x] ", text);
  fuzz::require(line.find('\n') == line.size() - 1, "one line");
  return 0;
}
