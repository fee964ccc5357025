#pragma once

#include <string>

#include "shared/ToolError.hpp"

namespace vellory::fabric {

// The fabric tool's error: a failed platform operation (`status`), the usage line or a request
// that cannot be read (`usage`), or a request refused (`message`).
class FabricError : public ToolError {
 public:
  static FabricError status(const std::string& operation, OSStatus code) {
    return FabricError(statusText(operation, code));
  }
  static FabricError usage(const std::string& text) { return FabricError(text); }
  static FabricError message(const std::string& text) { return FabricError(text); }

 private:
  using ToolError::ToolError;
};

}  // namespace vellory::fabric
