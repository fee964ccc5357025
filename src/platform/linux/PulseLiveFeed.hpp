#pragma once

#include <pulse/pulseaudio.h>

#include "platform/linux/CapturePlan.hpp"
#include "platform/linux/PulseContext.hpp"

namespace vellory::pulse {

// Carries the live input into its sink with two streams of ours: a record stream on the input
// whose data, on the loop's thread, is written to a playback stream into the sink. To the
// server they are a recorder and a player, so the input's own graph changes no more than when
// any program records it. Called with the hardware's lock held, never on the loop's thread.
class PulseLiveFeed {
 public:
  explicit PulseLiveFeed(PulseContext& context) : context_(context) {}
  ~PulseLiveFeed() { stop(); }
  PulseLiveFeed(const PulseLiveFeed&) = delete;
  PulseLiveFeed& operator=(const PulseLiveFeed&) = delete;

  // Replaces any earlier feed; false when either stream could not be set up (nothing is fed
  // then).
  bool start(const LiveFeed& wanted);
  // Ends the feed; also releases streams whose connection is gone.
  void stop();

 private:
  static void readable(pa_stream* stream, std::size_t, void* userdata);
  bool awaitReady();
  void stopLocked();

  PulseContext& context_;
  pa_stream* record_ = nullptr;
  pa_stream* playback_ = nullptr;
  std::size_t slack_ = 0;  // bytes queued beyond the playback target that are still written
};

}  // namespace vellory::pulse
