#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vellory::capture {

inline constexpr const char* captureUsage =
    "Usage: vellory-process-tap list | run [--live-input-name NAME] [slot-bundle-id ...]";

// Slot prefixes when `run` names none: three application slots, then the announcement slot.
std::vector<std::string> defaultSlotPrefixes();

struct RunOptions {
  std::vector<std::string> prefixes;
  std::optional<std::string> liveInputName;

  bool operator==(const RunOptions&) const = default;
};

// Reads the items after "run": "--live-input-name" takes the next item whatever it is (the last
// one wins), every other item is a slot prefix. Throws the usage error for a missing value.
RunOptions parseRunItems(const std::vector<std::string>& items);

}  // namespace vellory::capture
