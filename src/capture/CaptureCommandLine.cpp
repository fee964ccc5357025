#include "capture/CaptureCommandLine.hpp"

#include "capture/TapError.hpp"
#include "shared/ToolError.hpp"

namespace vellory::capture {

std::vector<std::string> defaultSlotPrefixes() {
  return {"com.google.Chrome", "com.apple.Safari", "org.videolan.vlc", "com.apple.Music"};
}

RunOptions parseRunItems(const std::vector<std::string>& items) {
  RunOptions options;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == "--live-input-name") {
      if (i + 1 >= items.size()) throw TapError::usage("Missing value for --live-input-name");
      options.liveInputName = items[++i];
    } else {
      options.prefixes.push_back(items[i]);
    }
  }
  if (options.prefixes.empty()) options.prefixes = defaultSlotPrefixes();
  return options;
}

}  // namespace vellory::capture
