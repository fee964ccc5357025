// The capture tool's `run` items: parsed, or refused with the usage error for a missing value.
#include "FuzzInput.hpp"
#include "capture/CaptureCommandLine.hpp"
#include "capture/TapError.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellory;
  using namespace vellory::capture;
  const auto items = fuzz::words(data, size);
  try {
    const RunOptions options = parseRunItems(items);
    fuzz::require(
        options.prefixes == defaultSlotPrefixes() || options.prefixes.size() <= items.size(),
        "prefixes that were not given");
    if (options.liveInputName) {
      fuzz::require(items.size() >= 2, "a live input needs a value");
    }
  } catch (const TapError& error) {
    fuzz::require(error.description() == "Missing value for --live-input-name", "usage error only");
    fuzz::require(!items.empty() && items.back() == "--live-input-name", "missing value only");
  }
  return 0;
}
