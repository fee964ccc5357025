// The announcement player's options: the file and the two fade lengths in milliseconds.
#include "FuzzInput.hpp"
#include "shared/OptionLookup.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellory;
  const auto args = fuzz::words(data, size);
  (void)argument("--file", args);
  for (const char* name : {"--fade-in-ms", "--fade-out-ms"}) {
    const std::int64_t value = milliseconds(name, args);
    fuzz::require(value >= 0, "negative milliseconds");
    const auto text = argument(name, args);
    fuzz::require(text || value == 0, "a value from nothing");
    if (value > 0) {
      // A value accepted is the same number written back, give or take a plus sign and zeros.
      std::string digits = *text;
      if (digits.front() == '+') digits.erase(0, 1);
      digits.erase(0, digits.find_first_not_of('0'));
      fuzz::require(digits == std::to_string(value), "the number read is the number written");
    }
  }
  return 0;
}
