#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/PulseContext.hpp"
#include "platform/linux/PulseTaps.hpp"
#include "shared/DescriptionDictionary.hpp"

namespace vellory::pulse {

// The capture aggregate device: one input device (a source named by the description's UID)
// whose channels are, in order, the sub-device's channels and then each tap's channels in the
// order of the tap list. Inside, an aux-mapped null sink mixes the parts: every stereo tap plays
// into a remap sink over exactly its two channels (its streams are moved there directly, so no
// latency is added), and the live input reaches its channels through a short loopback. A remap
// source over the mixer's monitor presents the result. Every part carries the device's UID as
// its group, so the whole device can be found and removed by a later process too. Called with
// the hardware's lock held.
class PulseCaptureDevice {
 public:
  explicit PulseCaptureDevice(PulseContext& context) : context_(context) {}

  // Builds the device; `outSourceName` is the source that stands for it.
  OSStatus create(const DescriptionDictionary& description, PulseTaps& taps,
                  std::string& outSourceName);
  // Removes the device a source stands for, with every part of its group.
  OSStatus destroy(const DeviceInfo& source, PulseTaps& taps);

 private:
  // Waits, up to 3 s, until the inner streams of these modules are connected.
  bool awaitLinks(const std::vector<std::uint32_t>& modules);

  PulseContext& context_;
};

// Loopback latency of the live input, in milliseconds.
inline constexpr int liveInputLatencyMs = 10;

// Removes every server object of ours whose process is gone (a run that was killed), moving the
// streams they held back to the default output first.
void removeOrphans(PulseContext& context);

}  // namespace vellory::pulse
