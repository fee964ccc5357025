#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vellory::fabric {

// One candidate sub-device of a fabric request.
struct FabricMember {
  std::string stableId;
  std::optional<bool> enabled;  // absent or null selects the member, like true

  bool selected() const { return enabled.value_or(true); }
  bool operator==(const FabricMember&) const = default;
};

// The `ensure` request.
struct Fabric {
  std::vector<FabricMember> members;
  std::optional<std::string> clockMasterStableId;

  bool operator==(const Fabric&) const = default;
};

// A request that is not a well-formed `Fabric`; what() is one line naming the first fault.
class FabricRequestError : public std::invalid_argument {
 public:
  explicit FabricRequestError(const std::string& fault)
      : std::invalid_argument("Invalid output fabric request: " + fault) {}
};

// Bounds on what a request may hold; anything beyond is refused rather than acted on.
inline constexpr std::size_t maxFabricMembers = 4096;
inline constexpr int maxRequestNesting = 128;

// Decodes a request from UTF-8 JSON text: an object with a "members" array of objects, each
// with a string "stableId" and an optional boolean or null "enabled", and an optional string or
// null "clockMasterStableId"; other keys are ignored. Any thread; throws FabricRequestError.
Fabric decodeFabric(const std::string& text);

// The stable identifiers of the selected members, in request order, duplicates kept.
std::vector<std::string> selectedStableIds(const Fabric& request);

}  // namespace vellory::fabric
