#include "fabric/FabricResults.hpp"

namespace vellory::fabric {

nlohmann::json encode(const EnsureResult& result) {
  return {{"ok", result.ok},
          {"name", result.name},
          {"stableId", result.stableId},
          {"members", result.members}};
}

nlohmann::json encode(const RemoveResult& result) {
  return {{"ok", result.ok}, {"removed", result.removed}};
}

}  // namespace vellory::fabric
