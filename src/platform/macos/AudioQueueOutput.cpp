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
  if (result == noErr) queue_ = created;
  return result;
}

void AudioQueueOutput::bufferDone(void* userData, AudioQueueRef, AudioQueueBufferRef buffer) {
  auto* self = static_cast<AudioQueueOutput*>(userData);
  std::lock_guard lock(self->callbackMutex_);
  if (self->disposed_.load() || buffer == nullptr || buffer->mUserData == nullptr) return;
  auto* shared = static_cast<Buffer*>(buffer->mUserData);
  shared->audioDataByteSize = buffer->mAudioDataByteSize;
  self->callback_(self->context_, *self, shared);
}

OSStatus AudioQueueOutput::allocateBuffer(std::uint32_t byteCapacity, QueueBuffer*& outBuffer) {
  if (disposed_.load() || queue_ == nullptr) return kAudio_ParamError;
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
  buffers_.push_back(std::move(buffer));
  return noErr;
}

OSStatus AudioQueueOutput::enqueueBuffer(QueueBuffer* buffer) {
  if (disposed_.load() || queue_ == nullptr) return kAudio_ParamError;
  if (buffer == nullptr) return kAudioQueueErr_InvalidBuffer;
  auto* shared = static_cast<Buffer*>(buffer);
  // Never let the queue read past the buffer's memory, whatever the caller wrote here.
  if (shared->audioDataByteSize > shared->platform->mAudioDataBytesCapacity) {
    return kAudio_ParamError;
  }
  shared->platform->mAudioDataByteSize = shared->audioDataByteSize;
  return AudioQueueEnqueueBuffer(queue_, shared->platform, 0, nullptr);
}

OSStatus AudioQueueOutput::start() {
  if (disposed_.load() || queue_ == nullptr) return kAudio_ParamError;
  return AudioQueueStart(queue_, nullptr);
}

OSStatus AudioQueueOutput::stop(bool immediate) {
  if (disposed_.load() || queue_ == nullptr) return kAudio_ParamError;
  return AudioQueueStop(queue_, immediate);
}

OSStatus AudioQueueOutput::setCurrentDevice(const std::string& deviceUID) {
  if (disposed_.load() || queue_ == nullptr) return kAudio_ParamError;
  const CFRef<CFStringRef> uid = makeString(deviceUID);
  if (!uid) return kAudio_ParamError;
  const CFStringRef value = uid.get();
  return AudioQueueSetProperty(queue_, kAudioQueueProperty_CurrentDevice, &value, sizeof(value));
}

void AudioQueueOutput::dispose() {
  {
    std::lock_guard lock(callbackMutex_);
    if (disposed_.exchange(true)) return;
  }
  // Immediate disposal is synchronous: once it returns, the queue thread runs no callback of
  // ours, and one that starts meanwhile finds `disposed_` set and returns at once.
  // `queue_` itself is left as it was: other calls look at `disposed_` first, and clearing
  // the handle here would race with them for nothing.
  if (queue_ != nullptr) AudioQueueDispose(queue_, true);
  std::lock_guard lock(callbackMutex_);
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
