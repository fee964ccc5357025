#include "platform/linux/LinuxAudioFileReader.hpp"
#include "shared/PlatformFactory.hpp"

namespace vellory {

// In a file of its own so that only a program that reads audio files links the readers' libraries.
std::unique_ptr<AudioFileReader> makeAudioFileReader() {
  return std::make_unique<LinuxAudioFileReader>();
}

}  // namespace vellory
