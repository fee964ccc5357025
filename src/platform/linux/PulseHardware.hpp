#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/PulseContext.hpp"
#include "platform/linux/PulseTaps.hpp"
#include "shared/AudioHardware.hpp"

namespace vellory::pulse {

class PulseCaptureDevice;

// The hardware object model over a PulseAudio (or pipewire-pulse) server. Processes are the
// server's playback streams, devices its sinks and non-monitor sources; each server object
// gets an object ID of its own for this process's life. Statuses reuse the platform's codes:
// 'stop' when the server cannot be reached, '!obj' for an unknown object, 'who?' for an
// unknown property, 'nope' for a refused operation. Thread-safe; calls are serialised.
class PulseHardware : public AudioHardware {
 public:
  PulseHardware();
  ~PulseHardware() override;

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
  void setStopCheck(std::function<bool()> stopRequested) override;
  Continuity continuity() override;
  // A playback stream answers for itself: nobody else is responsible for it.
  std::optional<ResponsibleProcess> responsibleProcess(std::int32_t) override { return {}; }
  // A stream moved into a tap is heard there or refused with a failure, never silenced.
  bool tapsCanBeRefusedSilently() const override { return false; }

  enum class Kind { stream, sink, source, tap };

  struct Snapshot {
    std::vector<SinkInputInfo> streams;
    std::vector<ClientInfo> clients;
    std::vector<DeviceInfo> sinks;
    std::vector<DeviceInfo> sources;
    ServerInfo server;
  };

 private:
  // Brings the view of the server up to date: fetched again when the server announced a change
  // since it was taken, when we changed something ourselves, or when changes cannot be followed.
  // False when the server cannot be reached.
  bool refresh();
  AudioObjectID idFor(Kind kind, std::uint32_t index);
  std::optional<std::pair<Kind, std::uint32_t>> lookup(AudioObjectID object) const;
  std::vector<AudioObjectID> processObjects();
  std::vector<AudioObjectID> deviceObjects();
  const SinkInputInfo* stream(std::uint32_t index) const;
  const DeviceInfo* sink(std::uint32_t index) const;
  const DeviceInfo* source(std::uint32_t index) const;
  const DeviceInfo* sinkNamed(const std::string& name) const;
  // Finds an object in the current view, refreshing once when it is not there.
  OSStatus resolve(AudioObjectID object, Kind& kind, std::uint32_t& index);
  PulseTaps::StreamResolver streamResolver();
  void removeOrphansOnce();
  // Forgets every object of an earlier connection when the server has restarted since.
  void followServer();
  // A property's value as bytes, read from the current view; one reader per kind of object.
  OSStatus readValue(AudioObjectID object, const PropertyAddress& address,
                     std::vector<std::byte>& value);
  OSStatus readSystemValue(const PropertyAddress& address, std::vector<std::byte>& value);
  OSStatus readStreamValue(const SinkInputInfo& info, const PropertyAddress& address,
                           std::vector<std::byte>& value) const;
  OSStatus readDeviceValue(const DeviceInfo& info, bool outputs, const PropertyAddress& address,
                           std::vector<std::byte>& value) const;
  OSStatus readTapValue(std::uint32_t index, const PropertyAddress& address,
                        std::vector<std::byte>& value) const;

  std::mutex mutex_;
  PulseContext context_;
  Snapshot snapshot_;
  bool haveSnapshot_ = false;
  bool stale_ = true;                  // we changed something since the snapshot
  std::uint64_t snapshotChanges_ = 0;  // the server's change count the snapshot reflects
  std::map<std::pair<Kind, std::uint32_t>, AudioObjectID> ids_;
  std::map<AudioObjectID, std::pair<Kind, std::uint32_t>> objects_;
  AudioObjectID nextID_ = 100;
  bool orphansRemoved_ = false;
  std::function<bool()> stopRequested_;
  std::uint64_t connection_ = 0;  // the connection our objects were made on; 0: none yet
  bool restartUnreported_ = false;
  std::unique_ptr<PulseTaps> taps_;
  std::unique_ptr<PulseCaptureDevice> capture_;
};

// Whether a playback stream belongs to an application (not to a server module or to us).
bool isApplicationStream(const SinkInputInfo& stream);

// Whether a server device is one of the backend's own building blocks, never shown as a device.
bool isInternalDevice(const DeviceInfo& device);

// The property that marks the backend's own server objects, and its values.
inline constexpr const char* roleProperty = "vellory.role";
inline constexpr const char* ownerProperty = "vellory.owner";
inline constexpr const char* groupProperty = "vellory.group";

}  // namespace vellory::pulse
