#include "shared/PlatformFactory.hpp"

#include "platform/linux/PulseHardware.hpp"

namespace vellory {

std::unique_ptr<AudioHardware> makeAudioHardware() {
  return std::make_unique<pulse::PulseHardware>();
}

}  // namespace vellory
