#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/linux/PulseContext.hpp"
#include "shared/AudioTypes.hpp"
#include "shared/TapDescription.hpp"

namespace vellory::pulse {

// Process taps on the sound server: a tap is a sink of our own into which the tapped
// processes' streams are moved. Called with the hardware's lock held.
class PulseTaps {
 public:
  // Maps a process object to its playback stream's server index.
  using StreamResolver = std::function<std::optional<std::uint32_t>(AudioObjectID)>;

  explicit PulseTaps(PulseContext& context) : context_(context) {}

  OSStatus create(const TapDescription& description, const StreamResolver& resolve,
                  std::uint32_t& outIndex);
  OSStatus setDescription(std::uint32_t index, const TapDescription& description,
                          const StreamResolver& resolve);
  OSStatus destroy(std::uint32_t index);
  bool exists(std::uint32_t index) const;
  bool uid(std::uint32_t index, std::string& out) const;
  bool format(std::uint32_t index, AudioStreamBasicDescription& out) const;

 private:
  PulseContext& context_;
};

}  // namespace vellory::pulse
