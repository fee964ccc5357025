#pragma once

#include "shared/AudioHardware.hpp"

namespace vellory::macos {

// The hardware object model over the Core Audio HAL. Every status is the platform's own,
// passed on unchanged; a string read hands its reference back to Core Foundation before
// returning. Thread-safe: the HAL serialises its own calls.
class CoreAudioHardware : public AudioHardware {
 public:
  // Any thread. Tells the HAL, once per process, to deliver its notifications on a thread of
  // its own: these programs never run the main run loop, and without it the HAL's view of
  // processes and devices would not follow changes.
  CoreAudioHardware();

  OSStatus getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                               std::uint32_t& outSize) override;
  OSStatus getPropertyData(AudioObjectID object, const PropertyAddress& address,
                           std::uint32_t& ioSize, void* data) override;
  OSStatus getStringProperty(AudioObjectID object, const PropertyAddress& address,
                             std::optional<std::string>& out) override;
  OSStatus setPropertyData(AudioObjectID object, const PropertyAddress& address,
                           const TapDescription& description) override;
  OSStatus createProcessTap(const TapDescription& description, AudioObjectID& outTap) override;
  OSStatus destroyProcessTap(AudioObjectID tap) override;
  OSStatus createAggregateDevice(const DescriptionDictionary& description,
                                 AudioObjectID& outDevice) override;
  OSStatus destroyAggregateDevice(AudioObjectID device) override;
  std::optional<ResponsibleProcess> responsibleProcess(std::int32_t pid) override;
  // A tap made without the capture permission is created, runs and delivers zeros.
  bool tapsCanBeRefusedSilently() const override { return true; }
  OSStatus readChannelPeaks(AudioObjectID device, std::size_t channels,
                            std::unique_ptr<ChannelPeakReader>& out) override;
};

}  // namespace vellory::macos
