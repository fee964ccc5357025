#include "shared/PlatformFactory.hpp"

#include "platform/macos/AudioQueueOutput.hpp"
#include "platform/macos/CoreAudioHardware.hpp"
#include "platform/macos/ExtAudioFileReader.hpp"

namespace vellory {

std::unique_ptr<AudioHardware> makeAudioHardware() {
  return std::make_unique<macos::CoreAudioHardware>();
}

std::unique_ptr<AudioOutput> makeAudioOutput() {
  return std::make_unique<macos::AudioQueueFactory>();
}

std::unique_ptr<AudioFileReader> makeAudioFileReader() {
  return std::make_unique<macos::ExtAudioFileReader>();
}

}  // namespace vellory
