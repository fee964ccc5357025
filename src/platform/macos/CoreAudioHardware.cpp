#include "platform/macos/CoreAudioHardware.hpp"

#include <CoreAudio/AudioHardware.h>

#include <mutex>

#include "platform/macos/AggregateDictionary.hpp"
#include "platform/macos/CFRef.hpp"
#include "platform/macos/CFText.hpp"
#include "platform/macos/PeakReading.hpp"
#include "platform/macos/ProcessTaps.hpp"
#include "platform/macos/ResponsibleProcess.hpp"

namespace vellory::macos {

namespace {

AudioObjectPropertyAddress platformAddress(const PropertyAddress& address) {
  return {address.selector, address.scope, address.element};
}

// The process object Core Audio keeps for a pid; kAudioObjectUnknown when it has none.
AudioObjectID processObjectOf(std::int32_t pid) {
  const AudioObjectPropertyAddress where{kAudioHardwarePropertyTranslatePIDToProcessObject,
                                         kAudioObjectPropertyScopeGlobal,
                                         kAudioObjectPropertyElementMain};
  const pid_t qualifier = pid;
  AudioObjectID object = kAudioObjectUnknown;
  UInt32 size = sizeof(object);
  const OSStatus result = AudioObjectGetPropertyData(kAudioObjectSystemObject, &where,
                                                     sizeof(qualifier), &qualifier, &size, &object);
  return result == noErr && size == sizeof(object) ? object : kAudioObjectUnknown;
}

void useOwnNotificationThread() {
  // kAudioHardwarePropertyRunLoop set to null: the HAL creates and runs its own thread. Best
  // effort; a refusal leaves the HAL on the main run loop as before.
  const AudioObjectPropertyAddress where{kAudioHardwarePropertyRunLoop,
                                         kAudioObjectPropertyScopeGlobal,
                                         kAudioObjectPropertyElementMain};
  CFRunLoopRef none = nullptr;
  AudioObjectSetPropertyData(kAudioObjectSystemObject, &where, 0, nullptr, sizeof(none), &none);
}

}  // namespace

CoreAudioHardware::CoreAudioHardware() {
  static std::once_flag once;
  std::call_once(once, useOwnNotificationThread);
}

OSStatus CoreAudioHardware::getPropertyDataSize(AudioObjectID object,
                                                const PropertyAddress& address,
                                                std::uint32_t& outSize) {
  const AudioObjectPropertyAddress where = platformAddress(address);
  UInt32 size = 0;
  const OSStatus result = AudioObjectGetPropertyDataSize(object, &where, 0, nullptr, &size);
  if (result == noErr) outSize = size;
  return result;
}

OSStatus CoreAudioHardware::getPropertyData(AudioObjectID object, const PropertyAddress& address,
                                            std::uint32_t& ioSize, void* data) {
  const AudioObjectPropertyAddress where = platformAddress(address);
  UInt32 size = ioSize;
  // An empty list is read with a byte count of 0 and often no buffer at all; the HAL is given
  // somewhere to point at all the same.
  std::uint32_t nothing = 0;
  void* target = data != nullptr ? data : &nothing;
  if (data == nullptr) size = 0;
  const OSStatus result = AudioObjectGetPropertyData(object, &where, 0, nullptr, &size, target);
  if (result == noErr) ioSize = size;
  return result;
}

OSStatus CoreAudioHardware::getStringProperty(AudioObjectID object, const PropertyAddress& address,
                                              std::optional<std::string>& out) {
  out.reset();
  const AudioObjectPropertyAddress where = platformAddress(address);
  CFStringRef handedOver = nullptr;
  UInt32 size = sizeof(handedOver);
  const OSStatus result =
      AudioObjectGetPropertyData(object, &where, 0, nullptr, &size, &handedOver);
  // A value of another size is not a reference at all (a selector that holds a number, say):
  // releasing those bytes would crash, so they are left alone.
  if (size != sizeof(handedOver)) {
    return result != noErr ? result : static_cast<OSStatus>(kAudioHardwareBadPropertySizeError);
  }
  // Owned from here on, whatever the status: the reference is released exactly once.
  const CFRef<CFStringRef> owned(handedOver);
  if (result != noErr) return result;
  if (!owned) return noErr;
  if (CFGetTypeID(owned.get()) != CFStringGetTypeID()) {
    return static_cast<OSStatus>(kAudioHardwareBadPropertySizeError);
  }
  out = textOf(owned.get());
  return noErr;
}

OSStatus CoreAudioHardware::setPropertyData(AudioObjectID object, const PropertyAddress& address,
                                            const TapDescription& description) {
  // The only settable property this layer knows is a tap's description; anything else would
  // be handed an object reference it does not expect.
  if (address.selector != kAudioTapPropertyDescription) {
    return static_cast<OSStatus>(kAudioHardwareUnknownPropertyError);
  }
  return setTapDescription(object, address, description);
}

OSStatus CoreAudioHardware::createProcessTap(const TapDescription& description,
                                             AudioObjectID& outTap) {
  return macos::createProcessTap(description, outTap);
}

OSStatus CoreAudioHardware::destroyProcessTap(AudioObjectID tap) {
  return macos::destroyProcessTap(tap);
}

OSStatus CoreAudioHardware::createAggregateDevice(const DescriptionDictionary& description,
                                                  AudioObjectID& outDevice) {
  CFRef<CFDictionaryRef> dictionary;
  const OSStatus built = makeAggregateDictionary(description, dictionary);
  if (built != noErr) return built;
  AudioObjectID created = kAudioObjectUnknown;
  const OSStatus result = AudioHardwareCreateAggregateDevice(dictionary.get(), &created);
  if (result == noErr) outDevice = created;
  return result;
}

OSStatus CoreAudioHardware::destroyAggregateDevice(AudioObjectID device) {
  return AudioHardwareDestroyAggregateDevice(device);
}

std::optional<AudioHardware::ResponsibleProcess> CoreAudioHardware::responsibleProcess(
    std::int32_t pid) {
  const auto responsible = responsiblePID(pid);
  if (!responsible) return std::nullopt;
  ResponsibleProcess answer{*responsible, {}};
  if (*responsible == pid) return answer;
  const AudioObjectID object = processObjectOf(*responsible);
  std::optional<std::string> bundleID;
  if (object != kAudioObjectUnknown &&
      getStringProperty(object, PropertyAddress{kAudioProcessPropertyBundleID}, bundleID) ==
          noErr &&
      bundleID && !bundleID->empty()) {
    answer.bundleID = *bundleID;
  } else {
    answer.bundleID = applicationBundleIDOf(*responsible);
  }
  return answer;
}

OSStatus CoreAudioHardware::readChannelPeaks(AudioObjectID device, std::size_t channels,
                                             std::unique_ptr<ChannelPeakReader>& out) {
  return startPeakReading(device, channels, out);
}

}  // namespace vellory::macos
