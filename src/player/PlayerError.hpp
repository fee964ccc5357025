#pragma once

#include <string>

#include "shared/ToolError.hpp"

namespace vellory::player {

// The stream player's error: an unusable command line or source (`usage`), or a failed playback
// (`playback`). Its description is its text alone.
class PlayerError : public ToolError {
 public:
  static PlayerError usage(const std::string& text) { return PlayerError(text); }
  static PlayerError playback(const std::string& text) { return PlayerError(text); }

 private:
  using ToolError::ToolError;
};

}  // namespace vellory::player
