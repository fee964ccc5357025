#include "platform/linux/PulseMixerHold.hpp"

#include "platform/linux/PulseConnection.hpp"
#include "platform/linux/PulseOwnStream.hpp"

namespace vellory::pulse {

namespace {

void operationDone(pa_context*, int, void* userdata) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

// A null sink renders ahead by the latency asked for when it starts a block, and a later, lower
// latency can rewind only that much of it: the sink begins its first block (2 s) as soon as it
// is loaded. Suspended and resumed, it drops what it rendered ahead and starts again at the held
// latency.
void restart(pa_threaded_mainloop* loop, pa_context* context, const std::string& sink) {
  for (const int suspend : {1, 0}) {
    awaitOperation(
        loop, context,
        pa_context_suspend_sink_by_name(context, sink.c_str(), suspend, operationDone, loop));
  }
}

// The mixer's own format, so the server sets up no conversion for the stream.
pa_sample_spec specOf(const MixerHold& wanted) {
  return pa_sample_spec{PA_SAMPLE_FLOAT32LE, 48000, static_cast<std::uint8_t>(wanted.channels)};
}

}  // namespace

bool PulseMixerHold::hold(const MixerHold& wanted) {
  release();
  if (!context_.connected()) return false;
  LoopLock lock(context_.mainloop());
  pa_context* context = context_.context();
  if (context == nullptr || pa_context_get_state(context) != PA_CONTEXT_READY) return false;
  stream_ = newOwnStream(context_.mainloop(), context, "Capture device pacing", wanted.channels,
                         wanted.channelMap, "capture-hold");
  if (stream_ == nullptr) return false;
  const pa_sample_spec spec = specOf(wanted);
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.fragsize =
      static_cast<std::uint32_t>(pa_usec_to_bytes(wanted.latencyMs * PA_USEC_PER_MSEC, &spec));
  // Corked, the stream is never sent audio; it cannot be moved off the mixer.
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED |
                                                    PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream_, wanted.source.c_str(), &attributes, flags) < 0) {
    releaseLocked();
    return false;
  }
  for (;;) {
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_READY) {
      restart(context_.mainloop(), context, wanted.sink);
      return true;
    }
    if (!PA_STREAM_IS_GOOD(state)) break;
    pa_threaded_mainloop_wait(context_.mainloop());
  }
  releaseLocked();
  return false;
}

void PulseMixerHold::release() {
  if (stream_ == nullptr) return;
  LoopLock lock(context_.mainloop());
  releaseLocked();
}

void PulseMixerHold::releaseLocked() {
  releaseOwnStream(stream_);
}

}  // namespace vellory::pulse
