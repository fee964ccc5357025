#pragma once

#include <optional>
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
  // The UID of the tap this description is written to; none for a new tap (the platform
  // chooses one). A tap given a description with another UID is no longer the tap the
  // aggregate lists.
  std::optional<std::string> uid;

  bool operator==(const TapDescription&) const = default;
};

}  // namespace vellory
