#include "player/StereoPcmQueuePlayer.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "player/PlayerError.hpp"

namespace vellory::player {

namespace {

AudioStreamBasicDescription stereoPcm16(double sampleRate) {
  AudioStreamBasicDescription format;
  format.mSampleRate = sampleRate;
  format.mFormatID = formatLinearPCM;
  format.mFormatFlags = formatFlagIsSignedInteger | formatFlagIsPacked;
  format.mBytesPerPacket = 4;
  format.mFramesPerPacket = 1;
  format.mBytesPerFrame = 4;
  format.mChannelsPerFrame = 2;
  format.mBitsPerChannel = 16;
  return format;
}

PlayerError failed(const std::string& operation, OSStatus status) {
  return PlayerError::playback(operation + " failed (" + std::to_string(status) + ").");
}

}  // namespace

StereoPcmQueuePlayer::StereoPcmQueuePlayer(AudioOutput& output, double sampleRate)
    : output_(output), clientFormat_(stereoPcm16(sampleRate)) {}

StereoPcmQueuePlayer::~StereoPcmQueuePlayer() {
  stop();
}

bool StereoPcmQueuePlayer::isPlaying() {
  if (!playing_ || stopped_) return false;
  // After the end of the input the queue plays out what it holds; only then is all of it heard.
  std::lock_guard lifecycle(lifecycle_);
  return queue_ && queue_->isRunning();
}

void StereoPcmQueuePlayer::play() {
  std::lock_guard lifecycle(lifecycle_);
  if (stopped_) return;
  std::unique_ptr<OutputQueue> queue;
  const OSStatus created = output_.newOutput(clientFormat_, &callback, this, queue);
  if (created != 0 || !queue) throw failed("AudioQueueNewOutput", created);
  queue_ = std::move(queue);
  const std::uint32_t bufferBytes = bufferFrames * clientFormat_.mBytesPerFrame;
  for (int i = 0; i < bufferCount; ++i) {
    QueueBuffer* buffer = nullptr;
    const OSStatus allocated = queue_->allocateBuffer(bufferBytes, buffer);
    if (allocated != 0 || buffer == nullptr) throw failed("AudioQueueAllocateBuffer", allocated);
    enqueueFromPending(buffer, *queue_);
  }
  playing_ = true;
  const OSStatus started = queue_->start();
  if (started != 0) throw failed("AudioQueueStart", started);
  // The input ended while priming: play out what was queued.
  if (finished_) queue_->stop(false);
}

void StereoPcmQueuePlayer::stop() {
  stopped_ = true;
  playing_ = false;
  finished_ = true;
  store_.release();
  std::unique_ptr<OutputQueue> queue;
  {
    std::lock_guard lifecycle(lifecycle_);
    queue = std::move(queue_);
  }
  if (queue) {
    queue->stop(true);
    queue->dispose();
  }
}

void StereoPcmQueuePlayer::callback(void* context, OutputQueue& queue, QueueBuffer* buffer) {
  if (context == nullptr || buffer == nullptr) return;
  static_cast<StereoPcmQueuePlayer*>(context)->enqueueFromPending(buffer, queue);
}

void StereoPcmQueuePlayer::enqueueFromPending(QueueBuffer* buffer, OutputQueue& queue) {
  const std::uint32_t capacity = buffer->audioDataBytesCapacity;
  auto* data = static_cast<std::uint8_t*>(buffer->audioData);
  const PcmStore::Taken taken = store_.take(data, capacity);
  if (taken.bytes > 0) {
    buffer->audioDataByteSize = static_cast<std::uint32_t>(taken.bytes);
    queue.enqueueBuffer(buffer);
    return;
  }
  if (taken.ended) {
    // The buffer is not queued again; the queue plays out the others and then stops.
    buffer->audioDataByteSize = 0;
    finished_ = true;
    if (playing_) queue.stop(false);
    return;
  }
  const std::uint32_t silence = std::min<std::uint32_t>(capacity, 16384);
  std::memset(data, 0, capacity);
  buffer->audioDataByteSize = silence;
  queue.enqueueBuffer(buffer);
}

}  // namespace vellory::player
