#include "platform/linux/PulseOutputQueue.hpp"

#include <errno.h>

#include <algorithm>
#include <cstring>

#include "platform/linux/PulseConnection.hpp"

namespace vellory::pulse {

namespace {

constexpr OSStatus unsupportedFormat = static_cast<OSStatus>(fourCharCode("fmt?"));
constexpr std::uint32_t formatFlagIsBigEndian = 2;
constexpr std::uint32_t formatFlagIsNonInterleaved = 32;
// Audio the server may still hold after a drain is capped at this when waiting it out.
constexpr pa_usec_t longestTail = 500'000;

struct Outcome {
  pa_threaded_mainloop* loop;
  bool success = false;
};

void successCallback(pa_context*, int success, void* userdata) {
  auto* outcome = static_cast<Outcome*>(userdata);
  outcome->success = success != 0;
  pa_threaded_mainloop_signal(outcome->loop, 0);
}

void sinkFound(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* outcome = static_cast<Outcome*>(userdata);
  if (eol == 0 && info != nullptr) outcome->success = true;
  if (eol != 0) pa_threaded_mainloop_signal(outcome->loop, 0);
}

std::int64_t nowNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool PulseOutputQueue::sampleSpecFor(const AudioStreamBasicDescription& format,
                                     pa_sample_spec& spec) {
  if (format.mFormatID != formatLinearPCM) return false;
  if ((format.mFormatFlags & (formatFlagIsBigEndian | formatFlagIsNonInterleaved)) != 0) {
    return false;
  }
  const bool isFloat = (format.mFormatFlags & formatFlagIsFloat) != 0;
  const bool isSigned = (format.mFormatFlags & formatFlagIsSignedInteger) != 0;
  if (isFloat && format.mBitsPerChannel == 32) {
    spec.format = PA_SAMPLE_FLOAT32LE;
  } else if (!isFloat && isSigned && format.mBitsPerChannel == 16) {
    spec.format = PA_SAMPLE_S16LE;
  } else if (!isFloat && isSigned && format.mBitsPerChannel == 32) {
    spec.format = PA_SAMPLE_S32LE;
  } else {
    return false;
  }
  if (format.mChannelsPerFrame == 0 || format.mChannelsPerFrame > PA_CHANNELS_MAX) return false;
  if (!(format.mSampleRate >= 1.0 && format.mSampleRate <= PA_RATE_MAX)) return false;
  spec.channels = static_cast<std::uint8_t>(format.mChannelsPerFrame);
  spec.rate = static_cast<std::uint32_t>(format.mSampleRate);
  if (format.mBytesPerFrame != pa_frame_size(&spec)) return false;
  return pa_sample_spec_valid(&spec) != 0;
}

PulseOutputQueue::PulseOutputQueue(const AudioStreamBasicDescription& format,
                                   OutputCallback callback, void* context)
    : callback_(callback), context_(context) {
  if (!sampleSpecFor(format, spec_)) {
    status_ = unsupportedFormat;
    return;
  }
  frameBytes_ = pa_frame_size(&spec_);
  loop_ = pa_threaded_mainloop_new();
  if (loop_ == nullptr || pa_threaded_mainloop_start(loop_) < 0) {
    status_ = status::notRunning;
    return;
  }
  {
    LoopLock lock(loop_);
    if (!connectLocked()) status_ = status::notRunning;
  }
}

PulseOutputQueue::~PulseOutputQueue() {
  dispose();
}

bool PulseOutputQueue::connectLocked() {
  connection_ = connectContext(loop_, program_invocation_short_name);
  return connection_ != nullptr;
}

bool PulseOutputQueue::waitLocked(pa_operation* operation) {
  return awaitOperation(loop_, connection_, operation);
}

PulseOutputQueue::Buffer* PulseOutputQueue::find(QueueBuffer* buffer) {
  for (auto& owned : buffers_) {
    if (&owned->record == buffer) return owned.get();
  }
  return nullptr;
}

OSStatus PulseOutputQueue::allocateBuffer(std::uint32_t byteCapacity, QueueBuffer*& outBuffer) {
  if (status_ != status::ok) return status_;
  if (closed_) return status::notRunning;
  if (byteCapacity == 0) return status::paramError;
  auto buffer = std::make_unique<Buffer>();
  buffer->storage.resize(byteCapacity);
  buffer->record.audioData = buffer->storage.data();
  buffer->record.audioDataBytesCapacity = byteCapacity;
  LoopLock lock(loop_);
  outBuffer = &buffer->record;
  buffers_.push_back(std::move(buffer));
  return status::ok;
}

OSStatus PulseOutputQueue::enqueueBuffer(QueueBuffer* queueBuffer) {
  if (status_ != status::ok) return status_;
  if (closed_) return status::notRunning;
  LoopLock lock(loop_);
  Buffer* buffer = find(queueBuffer);
  if (buffer == nullptr || buffer->queued || queueBuffer->audioDataByteSize == 0 ||
      queueBuffer->audioDataByteSize > queueBuffer->audioDataBytesCapacity) {
    return status::paramError;
  }
  if (failed_ || drainRequested_ || (started_ && stopped_)) return status::notRunning;
  buffer->queued = true;
  pending_.push_back(buffer);
  pumpLocked();
  return status::ok;
}

OSStatus PulseOutputQueue::start() {
  if (status_ != status::ok) return status_;
  if (closed_) return status::notRunning;
  LoopLock lock(loop_);
  if (failed_) return status::notRunning;
  if (stream_ != nullptr && running_) return status::ok;
  closeStreamLocked();

  std::uint32_t bufferBytes = 4096 * static_cast<std::uint32_t>(frameBytes_);
  for (const auto& buffer : buffers_) {
    bufferBytes = std::max(bufferBytes, buffer->record.audioDataBytesCapacity);
  }
  const auto frame = static_cast<std::uint32_t>(frameBytes_);
  bufferBytes -= bufferBytes % frame;
  const std::uint32_t quarter = std::max(frame, bufferBytes / 4 - (bufferBytes / 4) % frame);
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = 2 * bufferBytes;
  attributes.prebuf = quarter;
  attributes.minreq = quarter;
  attributes.fragsize = static_cast<std::uint32_t>(-1);

  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
  stream_ = pa_stream_new_with_proplist(connection_, "Playback", &spec_, nullptr, properties);
  pa_proplist_free(properties);
  if (stream_ == nullptr) return status::unspecified;
  pa_stream_set_state_callback(stream_, streamStateChanged, this);
  pa_stream_set_write_callback(stream_, streamWantsData, this);
  // No periodic timing updates: the queue asks for the latency once, when the stream drains.
  const auto flags = PA_STREAM_ADJUST_LATENCY;
  if (pa_stream_connect_playback(stream_, device_.empty() ? nullptr : device_.c_str(), &attributes,
                                 flags, nullptr, nullptr) < 0) {
    closeStreamLocked();
    return status::unspecified;
  }
  for (;;) {
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_READY) break;
    if (!PA_STREAM_IS_GOOD(state)) {
      const int error = pa_context_errno(connection_);
      closeStreamLocked();
      if (error == PA_ERR_NOENTITY) return status::badObject;
      return PA_CONTEXT_IS_GOOD(pa_context_get_state(connection_)) ? status::unspecified
                                                                   : status::notRunning;
    }
    pa_threaded_mainloop_wait(loop_);
  }
  started_ = true;
  stopped_ = false;
  draining_ = false;
  drainRequested_ = false;
  runsUntilNanos_ = 0;
  running_ = true;
  pumpLocked();
  return status::ok;
}

OSStatus PulseOutputQueue::stop(bool immediate) {
  if (status_ != status::ok) return status_;
  if (closed_) return status::notRunning;
  LoopLock lock(loop_);
  if (immediate) {
    for (Buffer* buffer : pending_) buffer->queued = false;
    pending_.clear();
    headOffset_ = 0;
    partialFrame_.clear();
    stopped_ = true;
    running_ = false;
    closeStreamLocked();
    return status::ok;
  }
  if (!running_ || draining_) return status::ok;
  draining_ = true;
  pumpLocked();
  return status::ok;
}

bool PulseOutputQueue::isRunning() {
  if (running_) return true;
  const std::int64_t until = runsUntilNanos_;
  return until != 0 && nowNanos() < until;
}

OSStatus PulseOutputQueue::setCurrentDevice(const std::string& deviceUID) {
  if (status_ != status::ok) return status_;
  if (closed_) return status::notRunning;
  LoopLock lock(loop_);
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(connection_))) return status::notRunning;
  Outcome found{loop_};
  if (!waitLocked(
          pa_context_get_sink_info_by_name(connection_, deviceUID.c_str(), sinkFound, &found))) {
    // An unknown name ends the query with an error rather than an empty list.
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(connection_))) return status::notRunning;
  }
  if (!found.success) return status::badObject;
  if (stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY) {
    Outcome moved{loop_};
    if (!waitLocked(pa_context_move_sink_input_by_name(connection_, pa_stream_get_index(stream_),
                                                       deviceUID.c_str(), successCallback,
                                                       &moved)) ||
        !moved.success) {
      return status::unspecified;
    }
  }
  device_ = deviceUID;
  return status::ok;
}

void PulseOutputQueue::streamStateChanged(pa_stream* stream, void* userdata) {
  auto* self = static_cast<PulseOutputQueue*>(userdata);
  const pa_stream_state_t state = pa_stream_get_state(stream);
  if ((state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) && self->started_ &&
      !self->stopped_) {
    // The server dropped the stream: what waits can never play, so it goes back to its owner,
    // whose next enqueue then fails.
    self->failed_ = true;
    self->running_ = false;
    std::vector<QueueBuffer*> back;
    for (Buffer* buffer : self->pending_) {
      buffer->queued = false;
      back.push_back(&buffer->record);
    }
    self->pending_.clear();
    self->headOffset_ = 0;
    self->giveBack(std::move(back));
  }
  pa_threaded_mainloop_signal(self->loop_, 0);
}

void PulseOutputQueue::streamWantsData(pa_stream*, std::size_t, void* userdata) {
  static_cast<PulseOutputQueue*>(userdata)->pumpLocked();
}

std::size_t PulseOutputQueue::queuedBytesLocked() const {
  std::size_t total = partialFrame_.size();
  for (const Buffer* buffer : pending_) total += buffer->record.audioDataByteSize;
  return total - headOffset_;
}

void PulseOutputQueue::copyOutLocked(std::byte* to, std::size_t count,
                                     std::vector<QueueBuffer*>& done) {
  const std::size_t carried = std::min(count, partialFrame_.size());
  if (carried > 0) {
    std::memcpy(to, partialFrame_.data(), carried);
    partialFrame_.erase(partialFrame_.begin(), partialFrame_.begin() + static_cast<long>(carried));
  }
  for (std::size_t copied = carried; copied < count;) {
    Buffer* head = pending_.front();
    const std::size_t step = std::min(count - copied, head->record.audioDataByteSize - headOffset_);
    std::memcpy(to + copied, static_cast<const std::byte*>(head->record.audioData) + headOffset_,
                step);
    copied += step;
    headOffset_ += step;
    if (headOffset_ == head->record.audioDataByteSize) retireHeadLocked(done);
  }
}

void PulseOutputQueue::retireHeadLocked(std::vector<QueueBuffer*>& done) {
  Buffer* head = pending_.front();
  pending_.pop_front();
  headOffset_ = 0;
  head->queued = false;
  done.push_back(&head->record);
}

// Everything queued is one stream of bytes, written in whole frames, as much as the server asks
// for in one block: one message to the server per request, however the buffers cut the frames.
void PulseOutputQueue::pumpLocked() {
  if (stream_ == nullptr || pa_stream_get_state(stream_) != PA_STREAM_READY || stopped_) return;
  std::size_t writable = pa_stream_writable_size(stream_);
  if (writable == static_cast<std::size_t>(-1)) return;
  std::vector<QueueBuffer*> done;
  std::size_t count = std::min(writable, queuedBytesLocked());
  count -= count % frameBytes_;
  void* block = nullptr;
  if (count > 0 && pa_stream_begin_write(stream_, &block, &count) == 0 && block != nullptr) {
    count -= count % frameBytes_;
    copyOutLocked(static_cast<std::byte*>(block), count, done);
    if (count > 0) {
      pa_stream_write(stream_, block, count, nullptr, 0, PA_SEEK_RELATIVE);
    } else {
      pa_stream_cancel_write(stream_);
    }
  }
  // Less than a frame left: it waits, without its buffers, for the bytes that complete it.
  if (queuedBytesLocked() < frameBytes_) {
    while (!pending_.empty()) {
      Buffer* head = pending_.front();
      const auto* data = static_cast<const std::byte*>(head->record.audioData);
      partialFrame_.insert(partialFrame_.end(), data + headOffset_,
                           data + head->record.audioDataByteSize);
      retireHeadLocked(done);
    }
  }
  if (!done.empty()) giveBack(std::move(done));
  if (draining_ && pending_.empty()) requestDrainLocked();
}

void PulseOutputQueue::requestDrainLocked() {
  if (drainRequested_ || stream_ == nullptr) return;
  drainRequested_ = true;
  partialFrame_.clear();
  if (pa_operation* operation = pa_stream_drain(stream_, drainFinished, this)) {
    pa_operation_unref(operation);
  } else {
    running_ = false;
  }
}

void PulseOutputQueue::drainFinished(pa_stream* stream, int, void* userdata) {
  auto* self = static_cast<PulseOutputQueue*>(userdata);
  // The server has mixed the last bytes; its device may still hold some of them: how much, the
  // timing update says.
  if (pa_operation* operation = pa_stream_update_timing_info(stream, timingKnown, self)) {
    pa_operation_unref(operation);
    return;
  }
  timingKnown(stream, 0, userdata);
}

void PulseOutputQueue::timingKnown(pa_stream* stream, int, void* userdata) {
  auto* self = static_cast<PulseOutputQueue*>(userdata);
  pa_usec_t latency = 0;
  int negative = 0;
  if (pa_stream_get_latency(stream, &latency, &negative) == 0 && negative == 0) {
    latency = std::min(latency, longestTail);
    self->runsUntilNanos_ = nowNanos() + static_cast<std::int64_t>(latency) * 1000;
  }
  self->running_ = false;
  pa_threaded_mainloop_signal(self->loop_, 0);
}

void PulseOutputQueue::closeStreamLocked() {
  if (stream_ == nullptr) return;
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_write_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

void PulseOutputQueue::giveBack(std::vector<QueueBuffer*> buffers) {
  toReturn_.insert(toReturn_.end(), buffers.begin(), buffers.end());
  if (pa_threaded_mainloop_in_thread(loop_)) {
    deliverLocked();
  } else if (!deliveryScheduled_) {
    deliveryScheduled_ = true;
    pa_mainloop_api_once(pa_threaded_mainloop_get_api(loop_), deliverOnLoop, this);
  }
}

void PulseOutputQueue::deliverOnLoop(pa_mainloop_api*, void* userdata) {
  auto* self = static_cast<PulseOutputQueue*>(userdata);
  self->deliverLocked();
}

// A callback's own enqueue may finish more buffers; they join the list this loop works through
// rather than nesting another callback.
void PulseOutputQueue::deliverLocked() {
  deliveryScheduled_ = false;
  if (delivering_) return;
  delivering_ = true;
  while (!toReturn_.empty() && !closed_) {
    QueueBuffer* buffer = toReturn_.front();
    toReturn_.pop_front();
    if (callback_ != nullptr) callback_(context_, *this, buffer);
  }
  delivering_ = false;
}

void PulseOutputQueue::dispose() {
  std::lock_guard disposeLock(disposeMutex_);
  if (disposed_) return;
  disposed_ = true;
  // No callback begins once this is set; callbacks run under the loop lock, so taking it below
  // waits for one in progress.
  closed_ = true;
  running_ = false;
  runsUntilNanos_ = 0;
  if (loop_ == nullptr) return;
  {
    LoopLock lock(loop_);
    toReturn_.clear();
    closeStreamLocked();
    pending_.clear();
    if (connection_ != nullptr) {
      releaseContext(connection_);
      connection_ = nullptr;
    }
  }
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
  loop_ = nullptr;
}

OSStatus PulseAudioOutput::newOutput(const AudioStreamBasicDescription& format,
                                     OutputCallback callback, void* context,
                                     std::unique_ptr<OutputQueue>& outQueue) {
  auto queue = std::make_unique<PulseOutputQueue>(format, callback, context);
  if (const OSStatus result = queue->status(); result != status::ok) return result;
  outQueue = std::move(queue);
  return status::ok;
}

}  // namespace vellory::pulse
