#pragma once

#include <memory>

#include "shared/AudioFileReader.hpp"
#include "shared/AudioHardware.hpp"
#include "shared/OutputQueue.hpp"

namespace vellory {

// The real platform of this build; each backend implements these (chosen in CMake).
std::unique_ptr<AudioHardware> makeAudioHardware();
std::unique_ptr<AudioOutput> makeAudioOutput();
std::unique_ptr<AudioFileReader> makeAudioFileReader();

}  // namespace vellory
