#include "platform/macos/AudioQueueOutput.hpp"

#include "platform/macos/CFRef.hpp"
#include "platform/macos/CFText.hpp"
#include "platform/macos/StreamFormat.hpp"

namespace vellory::macos {

AudioQueueOutput::AudioQueueOutput(OutputCallback callback, void* context)
    : callback_(callback), context_(context) {}

AudioQueueOutput::~AudioQueueOutput() {
  dispose();
}

OSStatus AudioQueueOutput::open(const vellory::AudioStreamBasicDescription& format) {
  const ::AudioStreamBasicDescription platformFormat = toPlatform(format);
  AudioQueueRef created = nullptr;
  // No run loop: callbacks run on one of the queue's own threads.
  const OSStatus result = AudioQueueNewOutput(&platformFormat, &AudioQueueOutput::bufferDone, this,
                                              nullptr, nullptr, 0, &created);
  if (result != noErr) return result;
  // The running flag's notices only hurry the end of a stop along: polls read the flag too (see
  // QueueRunState), so a queue whose notices cannot be had still plays and still ends. Its
  // failure is no failure to make the queue.
  (void)AudioQueueAddPropertyListener(created, kAudioQueueProperty_IsRunning,
                                      &AudioQueueOutput::runningChanged, this);
  queue_ = created;
  return noErr;
}

void AudioQueueOutput::bufferDone(void* userData, AudioQueueRef, AudioQueueBufferRef buffer) {
  auto* self = static_cast<AudioQueueOutput*>(userData);
  if (!self->callbacks_.enter()) return;
  // Dropped buffers of an immediate stop come back here too, some on the stopping thread itself
  // when our own callback stopped the queue; they never reach the callback.
  if (!self->dropping_.load() && buffer != nullptr && buffer->mUserData != nullptr) {
    auto* shared = static_cast<Buffer*>(buffer->mUserData);
    shared->audioDataByteSize = buffer->mAudioDataByteSize;
    self->callback_(self->context_, *self, shared);
  }
  // Counted back after the callback, which may have queued it again: a playing-out stop cannot
  // look finished while a buffer is passed on.
  self->runState_.bufferReturned();
  self->checkEnd();
  self->callbacks_.leave();
}

void AudioQueueOutput::runningChanged(void* userData, AudioQueueRef, AudioQueuePropertyID) {
  auto* self = static_cast<AudioQueueOutput*>(userData);
  if (!self->callbacks_.enter()) return;
  self->runState_.flagChanged([self] { return self->platformRunning(); });
  self->callbacks_.leave();
}

void AudioQueueOutput::checkEnd() {
  runState_.checkEnd([this] { return platformRunning(); });
}

bool AudioQueueOutput::platformRunning() {
  UInt32 running = 0;
  UInt32 size = sizeof(running);
  if (AudioQueueGetProperty(queue_, kAudioQueueProperty_IsRunning, &running, &size) != noErr) {
    return false;
  }
  return running != 0;
}

OSStatus AudioQueueOutput::allocateBuffer(std::uint32_t byteCapacity, QueueBuffer*& outBuffer) {
  if (disposed_.load() || queue_ == nullptr) return status::notRunning;
  if (byteCapacity == 0) return status::paramError;
  AudioQueueBufferRef platform = nullptr;
  const OSStatus result = AudioQueueAllocateBuffer(queue_, byteCapacity, &platform);
  if (result != noErr) return result;
  auto buffer = std::make_unique<Buffer>();
  buffer->platform = platform;
  buffer->audioData = platform->mAudioData;
  buffer->audioDataBytesCapacity = platform->mAudioDataBytesCapacity;
  buffer->audioDataByteSize = 0;
  platform->mUserData = buffer.get();
  outBuffer = buffer.get();
  std::lock_guard lock(buffersMutex_);
  buffers_.push_back(std::move(buffer));
  return noErr;
}

OSStatus AudioQueueOutput::enqueueBuffer(QueueBuffer* buffer) {
  if (disposed_.load() || queue_ == nullptr) return status::notRunning;
  if (buffer == nullptr) return status::paramError;
  // Only buffers of this queue: the platform buffer must point back at the same record.
  auto* shared = static_cast<Buffer*>(buffer);
  {
    std::lock_guard lock(buffersMutex_);
    bool ours = false;
    for (const auto& owned : buffers_) ours = ours || owned.get() == shared;
    if (!ours) return status::paramError;
  }
  // Never let the queue read past the buffer's memory, whatever the caller wrote here.
  if (shared->audioDataByteSize == 0 ||
      shared->audioDataByteSize > shared->platform->mAudioDataBytesCapacity) {
    return status::paramError;
  }
  if (stopping_.load()) return status::notRunning;
  shared->platform->mAudioDataByteSize = shared->audioDataByteSize;
  runState_.bufferQueued();
  const OSStatus result = AudioQueueEnqueueBuffer(queue_, shared->platform, 0, nullptr);
  if (result != noErr) runState_.bufferReturned();
  return result;
}

OSStatus AudioQueueOutput::start() {
  if (disposed_.load() || queue_ == nullptr) return status::notRunning;
  stopping_ = false;
  dropping_ = false;
  // Running before the platform call, so that a notice sent during it belongs to this start.
  runState_.starting();
  const OSStatus result = AudioQueueStart(queue_, nullptr);
  if (result != noErr) runState_.startFailed();
  return result;
}

OSStatus AudioQueueOutput::stop(bool immediate) {
  if (disposed_.load() || queue_ == nullptr) return status::notRunning;
  stopping_ = true;
  if (immediate) dropping_ = true;
  runState_.stopAsked(immediate);
  const OSStatus result = AudioQueueStop(queue_, immediate);
  // A device that already stopped, or never started, sends no further notice.
  if (!immediate && result == noErr) checkEnd();
  return result;
}

bool AudioQueueOutput::isRunning() {
  if (disposed_.load()) return false;
  // Notices of the running flag are not relied on: a poll reads it too.
  checkEnd();
  return runState_.running();
}

OSStatus AudioQueueOutput::setCurrentDevice(const std::string& deviceUID) {
  if (disposed_.load() || queue_ == nullptr) return status::notRunning;
  const CFRef<CFStringRef> uid = makeString(deviceUID);
  if (!uid) return status::paramError;
  const CFStringRef value = uid.get();
  return AudioQueueSetProperty(queue_, kAudioQueueProperty_CurrentDevice, &value, sizeof(value));
}

void AudioQueueOutput::dispose() {
  if (disposed_.exchange(true)) return;
  // Waits for a callback in progress; later ones do nothing. Immediate disposal is synchronous:
  // once it returns, the queue thread calls nothing of ours. `queue_` itself is left as it was:
  // other calls look at `disposed_` first.
  callbacks_.close();
  if (queue_ != nullptr) AudioQueueDispose(queue_, true);
  std::lock_guard lock(buffersMutex_);
  buffers_.clear();
}

OSStatus AudioQueueFactory::newOutput(const vellory::AudioStreamBasicDescription& format,
                                      OutputCallback callback, void* context,
                                      std::unique_ptr<OutputQueue>& outQueue) {
  auto queue = std::make_unique<AudioQueueOutput>(callback, context);
  const OSStatus result = queue->open(format);
  if (result != noErr) return result;
  outQueue = std::move(queue);
  return noErr;
}

}  // namespace vellory::macos
