#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vellory::fabric {

// What `ensure` prints: the fabric it built and the members it was built from.
struct EnsureResult {
  bool ok = true;
  std::string name;
  std::string stableId;
  std::vector<std::string> members;

  bool operator==(const EnsureResult&) const = default;
};

// What `remove` prints, whether or not there was a fabric to remove.
struct RemoveResult {
  bool ok = true;
  bool removed = true;

  bool operator==(const RemoveResult&) const = default;
};

nlohmann::json encode(const EnsureResult& result);
nlohmann::json encode(const RemoveResult& result);

}  // namespace vellory::fabric
