#include "shared/PlatformFactory.hpp"

#include "platform/linux/PulseHardware.hpp"
#include "platform/linux/PulseOutputQueue.hpp"

namespace vellory {

std::unique_ptr<AudioHardware> makeAudioHardware() {
  return std::make_unique<pulse::PulseHardware>();
}

std::unique_ptr<AudioOutput> makeAudioOutput() {
  return std::make_unique<pulse::PulseAudioOutput>();
}

}  // namespace vellory
