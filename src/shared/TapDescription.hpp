#pragma once

#include <string>
#include <vector>

#include "shared/AudioTypes.hpp"

namespace vellory {

enum class TapMuteBehavior : int { unmuted = 0, muted = 1, mutedWhenTapped = 2 };

// What a process tap listens to: a stereo (or mono) mixdown of the listed process objects.
struct TapDescription {
  std::vector<AudioObjectID> processes;
  std::string name;
  bool isPrivate = false;
  bool exclusive = false;
  bool mixdown = true;
  bool mono = false;
  TapMuteBehavior muteBehavior = TapMuteBehavior::unmuted;

  bool operator==(const TapDescription&) const = default;
};

}  // namespace vellory
