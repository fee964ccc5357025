// The capture tool's `run` items: parsed, or refused with the usage error for a missing value.
#include "FuzzInput.hpp"
#include "capture/CaptureCommandLine.hpp"
#include "shared/ToolError.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellory;
  const auto items = fuzz::words(data, size);
  try {
    const RunOptions options = parseRunItems(items);
    fuzz::require(
        options.prefixes == defaultSlotPrefixes() || options.prefixes.size() <= items.size(),
        "prefixes that were not given");
    if (options.liveInputName) {
      fuzz::require(items.size() >= 2, "a live input needs a value");
    }
  } catch (const ToolError& error) {
    fuzz::require(error.kind() == ToolError::Kind::usage, "usage error only");
    fuzz::require(!items.empty() && items.back() == "--live-input-name", "missing value only");
  }
  return 0;
}
