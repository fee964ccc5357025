#pragma once

#include <pulse/pulseaudio.h>

#include "platform/linux/CapturePlan.hpp"
#include "platform/linux/PulseContext.hpp"

namespace vellory::pulse {

// Holds a source at a latency with a record stream that stays corked: the server counts the
// latency it asks for, and sends it nothing, so holding costs this process no wake-ups. Called
// with the hardware's lock held, never on the loop's thread.
class PulseMixerHold {
 public:
  explicit PulseMixerHold(PulseContext& context) : context_(context) {}
  ~PulseMixerHold() { release(); }
  PulseMixerHold(const PulseMixerHold&) = delete;
  PulseMixerHold& operator=(const PulseMixerHold&) = delete;

  // Replaces any earlier hold; false when the stream could not be set up (nothing is held then).
  bool hold(const MixerHold& wanted);
  // Ends the hold; also releases a stream whose connection is gone.
  void release();

 private:
  void releaseLocked();

  PulseContext& context_;
  pa_stream* stream_ = nullptr;
};

}  // namespace vellory::pulse
