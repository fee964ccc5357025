#pragma once

#include <exception>
#include <string>

#include "shared/AudioTypes.hpp"

namespace vellory::announcement {

// The announcement player's error: the command line was unusable (`usage`) or opening,
// converting or playing failed (`playback`). Its description is the carried text alone.
class PlayerError : public std::exception {
 public:
  enum class Kind { usage, playback };

  static PlayerError usage(std::string text) { return PlayerError(Kind::usage, std::move(text)); }
  static PlayerError playback(std::string text) {
    return PlayerError(Kind::playback, std::move(text));
  }
  // "<message> (<status>)." with the status in signed decimal.
  static PlayerError playback(const std::string& message, OSStatus status) {
    return playback(message + " (" + std::to_string(status) + ").");
  }

  Kind kind() const { return kind_; }
  const std::string& text() const { return text_; }
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  PlayerError(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}

  Kind kind_;
  std::string text_;
};

}  // namespace vellory::announcement
