#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "shared/AudioTypes.hpp"
#include "shared/ChannelPeaks.hpp"
#include "shared/DescriptionDictionary.hpp"
#include "shared/TapDescription.hpp"

namespace vellory {

// The audio hardware object model: objects with properties, process taps and aggregate
// devices. Every method returns the platform's status (0 on success) and may be called from
// any thread, one call at a time per instance unless a backend says otherwise.
class AudioHardware {
 public:
  virtual ~AudioHardware() = default;

  // Byte size of a property's current value. Fails with 'stop', '!obj', 'who?'.
  virtual OSStatus getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                                       std::uint32_t& outSize) = 0;

  // Copies up to ioSize bytes of a fixed-size or list property into data and sets ioSize to
  // the bytes written. Fails with 'stop', '!obj', 'who?', '!siz'.
  virtual OSStatus getPropertyData(AudioObjectID object, const PropertyAddress& address,
                                   std::uint32_t& ioSize, void* data) = 0;

  // Reads a string property. On success `out` holds the text, or stays empty when the platform
  // stored a null reference. Fails with 'stop', '!obj', 'who?'.
  virtual OSStatus getStringProperty(AudioObjectID object, const PropertyAddress& address,
                                     std::optional<std::string>& out) = 0;

  // Replaces a tap's description ('tdsc'). Fails with 'stop', '!obj', 'who?', 'nope'.
  virtual OSStatus setPropertyData(AudioObjectID object, const PropertyAddress& address,
                                   const TapDescription& description) = 0;

  // Creates a process tap. Fails with 'stop', 'nope' and the platform's own codes.
  virtual OSStatus createProcessTap(const TapDescription& description, AudioObjectID& outTap) = 0;

  // Destroys a process tap. Fails with 'stop', '!obj'.
  virtual OSStatus destroyProcessTap(AudioObjectID tap) = 0;

  // Creates an aggregate device from its description. Fails with 'stop', 'nope' and the
  // platform's own codes.
  virtual OSStatus createAggregateDevice(const DescriptionDictionary& description,
                                         AudioObjectID& outDevice) = 0;

  // Destroys an aggregate device. Fails with 'stop', '!obj'.
  virtual OSStatus destroyAggregateDevice(AudioObjectID device) = 0;

  // Lets a call that waits for the platform to finish something (a device whose parts are
  // still connecting) end early, failing, once `stopRequested` returns true. Set it before the
  // calls; it is called from whichever thread makes them.
  virtual void setStopCheck(std::function<bool()> stopRequested) { (void)stopRequested; }

  // Whether what this process made on the platform still exists. A sound server that goes away
  // takes every tap and device with it: `lost` while it cannot be reached, then `restarted`
  // once, when it answers again (every object made before is gone then, and its ID names
  // nothing). Where objects cannot vanish that way it is always `intact`.
  enum class Continuity { intact, lost, restarted };
  virtual Continuity continuity() { return Continuity::intact; }

  // The process the system holds responsible for process `pid` (the application whose helper
  // it is). `pid` is the process itself when it answers for itself; `bundleID` is filled only
  // for another process: from its own process object, else from the application bundle that
  // holds its executable (empty when neither tells). None when the system cannot say.
  struct ResponsibleProcess {
    std::int32_t pid = 0;
    std::string bundleID;
  };
  virtual std::optional<ResponsibleProcess> responsibleProcess(std::int32_t pid) = 0;

  // Whether a tap can be refused (the capture permission withheld) without any call failing:
  // the taps and devices are made and run, and carry only zeros.
  virtual bool tapsCanBeRefusedSilently() const = 0;

  // Reads a device's input only to keep the peak of each of its first `channels` channels,
  // until `out` is destroyed. Where taps cannot be refused silently nothing needs it: 'nope'.
  virtual OSStatus readChannelPeaks(AudioObjectID device, std::size_t channels,
                                    std::unique_ptr<ChannelPeakReader>& out) {
    (void)device;
    (void)channels;
    (void)out;
    return status::illegalOperation;
  }
};

}  // namespace vellory
