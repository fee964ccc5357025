#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/CaptureBuild.hpp"
#include "platform/linux/CapturePlan.hpp"
#include "platform/linux/PulseContext.hpp"
#include "platform/linux/PulseLiveFeed.hpp"
#include "platform/linux/PulseMixerHold.hpp"
#include "platform/linux/PulseTaps.hpp"
#include "shared/DescriptionDictionary.hpp"

namespace vellory::pulse {

// The capture aggregate device: one input device (a source named by the description's UID)
// whose channels are, in order, the sub-device's channels and then each tap's channels in the
// order of the tap list; `planCaptureDevice` says what it is made of. Every part carries the
// device's UID as its group, so the whole device can be found and removed by a later process
// too. Called with the hardware's lock held.
class PulseCaptureDevice {
 public:
  explicit PulseCaptureDevice(PulseContext& context)
      : context_(context), hold_(context), feed_(context) {}

  // Builds the device; `outSourceName` is the source that stands for it. Whatever a failed call
  // built is removed again. `cancelled` ends the wait for the device's links early (a failure).
  OSStatus create(const DescriptionDictionary& description, PulseTaps& taps,
                  std::string& outSourceName, const std::function<bool()>& cancelled);
  // Removes what the last successful `create` built, for a caller that cannot use it.
  void abandon(PulseTaps& taps);
  // Forgets what was built, without removing it: the server that held it is gone.
  void forget();
  // Removes the device a source stands for, with every part of its group.
  OSStatus destroy(const DeviceInfo& source, PulseTaps& taps);

 private:
  OSStatus layoutFor(const DescriptionDictionary& description, const PulseTaps& taps,
                     CaptureLayout& layout);
  // Waits, up to 3 s, until the inner streams of these modules are connected.
  bool awaitLinks(const std::vector<std::uint32_t>& modules,
                  const std::function<bool()>& cancelled);

  PulseContext& context_;
  BuiltCapture built_;   // what the last successful `create` made
  PulseMixerHold hold_;  // the mixer's latency while the device exists
  PulseLiveFeed feed_;   // the live input, where streams of ours carry it
};

// Latency of the live input's loopback on PulseAudio, and the fragment of its feed on PipeWire,
// in milliseconds. A 10 ms feed added 26 ms less to the input than this one, but only the 20 ms
// one has been measured on a busy machine.
inline constexpr unsigned liveInputLatencyMs = 10;
inline constexpr unsigned pipewireLiveInputLatencyMs = 20;

// The latency the capture device's mixer is held at on PulseAudio, in milliseconds: the most a
// recorder that joins the device waits for audio. PipeWire runs the mixer at the graph's quantum
// and needs no hold.
inline constexpr unsigned mixerLatencyMs = 80;

// Removes every server object of ours whose process is gone (a run that was killed), moving the
// streams they held back to the default output first.
void removeOrphans(PulseContext& context);

}  // namespace vellory::pulse
