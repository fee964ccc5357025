#include "platform/linux/PulseLiveFeed.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/linux/PulseConnection.hpp"
#include "platform/linux/PulseOwnStream.hpp"

namespace vellory::pulse {

namespace {

pa_sample_spec specOf(const LiveFeed& wanted) {
  return pa_sample_spec{PA_SAMPLE_FLOAT32LE, 48000, static_cast<std::uint8_t>(wanted.channels)};
}

// Neither stream may be moved elsewhere. Both have the input's own channel map, as the sink has,
// so the channels pass unchanged.
constexpr auto fixedFlags =
    static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);

}  // namespace

bool PulseLiveFeed::start(const LiveFeed& wanted) {
  stop();
  if (!context_.connected()) return false;
  LoopLock lock(context_.mainloop());
  pa_context* context = context_.context();
  if (context == nullptr || pa_context_get_state(context) != PA_CONTEXT_READY) return false;
  for (auto [stream, name] : {std::pair{&record_, "Capture device live input"},
                              std::pair{&playback_, "Capture device live input feed"}}) {
    *stream = newOwnStream(context_.mainloop(), context, name, wanted.channels, wanted.channelMap,
                           "capture-part", wanted.group);
  }
  if (record_ == nullptr || playback_ == nullptr) {
    stopLocked();
    return false;
  }
  const pa_sample_spec spec = specOf(wanted);
  const auto fragment =
      static_cast<std::uint32_t>(pa_usec_to_bytes(wanted.latencyMs * PA_USEC_PER_MSEC, &spec));
  // The feed starts playing as soon as one fragment has come in, and keeps up to two queued.
  const pa_buffer_attr played{static_cast<std::uint32_t>(-1), 2 * fragment, fragment,
                              static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1)};
  pa_buffer_attr recorded{};
  recorded.maxlength = static_cast<std::uint32_t>(-1);
  recorded.fragsize = fragment;
  if (pa_stream_connect_playback(playback_, wanted.sink.c_str(), &played, fixedFlags, nullptr,
                                 nullptr) < 0 ||
      pa_stream_connect_record(record_, wanted.source.c_str(), &recorded, fixedFlags) < 0 ||
      !awaitReady()) {
    stopLocked();
    return false;
  }
  slack_ = 2 * fragment;
  pa_stream_set_read_callback(record_, readable, this);
  return true;
}

bool PulseLiveFeed::awaitReady() {
  for (;;) {
    const pa_stream_state_t recordState = pa_stream_get_state(record_);
    const pa_stream_state_t playbackState = pa_stream_get_state(playback_);
    if (!PA_STREAM_IS_GOOD(recordState) || !PA_STREAM_IS_GOOD(playbackState)) return false;
    if (recordState == PA_STREAM_READY && playbackState == PA_STREAM_READY) return true;
    pa_threaded_mainloop_wait(context_.mainloop());
  }
}

// On the loop's thread: what the input has delivered goes to the sink at once, a hole in it (the
// input was late) as silence of its length. The input and the device may run off different
// clocks; what would queue beyond the target and two fragments more is left out, so that the
// live channels never fall behind the rest of the device.
void PulseLiveFeed::readable(pa_stream* stream, std::size_t, void* userdata) {
  auto& feed = *static_cast<PulseLiveFeed*>(userdata);
  const void* data = nullptr;
  std::size_t length = 0;
  while (pa_stream_readable_size(stream) > 0) {
    if (pa_stream_peek(stream, &data, &length) < 0 || length == 0) return;
    if (pa_stream_get_state(feed.playback_) == PA_STREAM_READY) {
      std::size_t room = pa_stream_writable_size(feed.playback_);
      if (room == static_cast<std::size_t>(-1)) room = 0;
      const std::size_t frame = pa_frame_size(pa_stream_get_sample_spec(feed.playback_));
      const std::size_t kept = std::min(length, (room + feed.slack_) / frame * frame);
      if (kept != 0) {
        const std::vector<char> silence(data == nullptr ? kept : 0, 0);
        pa_stream_write(feed.playback_, data != nullptr ? data : silence.data(), kept, nullptr, 0,
                        PA_SEEK_RELATIVE);
      }
    }
    pa_stream_drop(stream);
  }
}

void PulseLiveFeed::stop() {
  if (record_ == nullptr && playback_ == nullptr) return;
  LoopLock lock(context_.mainloop());
  stopLocked();
}

void PulseLiveFeed::stopLocked() {
  releaseOwnStream(record_);
  releaseOwnStream(playback_);
}

}  // namespace vellory::pulse
