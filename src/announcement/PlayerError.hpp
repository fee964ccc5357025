#pragma once

#include <string>

#include "shared/ToolError.hpp"

namespace vellory::announcement {

// The announcement player's error: the command line was unusable (`usage`) or opening,
// converting or playing failed (`playback`). Its description is the carried text alone.
class PlayerError : public ToolError {
 public:
  static PlayerError usage(const std::string& text) { return PlayerError(text); }
  static PlayerError playback(const std::string& text) { return PlayerError(text); }
  // "<message> (<status>)." with the status in signed decimal.
  static PlayerError playback(const std::string& message, OSStatus status) {
    return playback(message + " (" + std::to_string(status) + ").");
  }

 private:
  using ToolError::ToolError;
};

}  // namespace vellory::announcement
