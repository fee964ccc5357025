#include "platform/linux/PulseTaps.hpp"

namespace vellory::pulse {

OSStatus PulseTaps::create(const TapDescription&, const StreamResolver&, std::uint32_t&) {
  return status::illegalOperation;
}

OSStatus PulseTaps::setDescription(std::uint32_t, const TapDescription&, const StreamResolver&) {
  return status::illegalOperation;
}

OSStatus PulseTaps::destroy(std::uint32_t) {
  return status::badObject;
}

bool PulseTaps::exists(std::uint32_t) const {
  return false;
}

bool PulseTaps::uid(std::uint32_t, std::string&) const {
  return false;
}

bool PulseTaps::format(std::uint32_t, AudioStreamBasicDescription&) const {
  return false;
}

}  // namespace vellory::pulse
