#pragma once

#include <stdexcept>
#include <string>

namespace vellory::player {

// The stream player's error: an unusable command line or source, or a failed playback. Its
// description is its text alone.
class PlayerError : public std::runtime_error {
 public:
  enum class Kind { usage, playback };

  static PlayerError usage(const std::string& text) { return {Kind::usage, text}; }
  static PlayerError playback(const std::string& text) { return {Kind::playback, text}; }

  Kind kind() const { return kind_; }
  std::string description() const { return what(); }

 private:
  PlayerError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}

  Kind kind_;
};

}  // namespace vellory::player
