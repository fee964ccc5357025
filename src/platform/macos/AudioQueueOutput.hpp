#pragma once

#include <AudioToolbox/AudioQueue.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "shared/CallGate.hpp"
#include "shared/OutputQueue.hpp"
#include "shared/QueueRunState.hpp"

namespace vellory::macos {

// An output queue over an AudioQueue made without a run loop, so its callbacks come on the queue's
// own thread. Statuses are AudioToolbox's, unchanged, except for the shared ones the interface
// names: -50 for an empty or foreign buffer, 'stop' for a buffer queued after a stop and for any
// call after `dispose`.
// Keeping other threads' calls from racing `dispose` is the owner's part; calls from the callback
// are always safe, since `dispose` waits for a callback in progress.
class AudioQueueOutput : public OutputQueue {
 public:
  AudioQueueOutput(OutputCallback callback, void* context);
  ~AudioQueueOutput() override;
  AudioQueueOutput(const AudioQueueOutput&) = delete;
  AudioQueueOutput& operator=(const AudioQueueOutput&) = delete;

  // Owner thread, once, before anything else. Creates the platform queue for the format.
  OSStatus open(const vellory::AudioStreamBasicDescription& format);

  OSStatus allocateBuffer(std::uint32_t byteCapacity, QueueBuffer*& outBuffer) override;
  OSStatus enqueueBuffer(QueueBuffer* buffer) override;
  OSStatus start() override;
  OSStatus stop(bool immediate) override;
  bool isRunning() override;
  OSStatus setCurrentDevice(const std::string& deviceUID) override;
  void dispose() override;

 private:
  // The shared view of one platform buffer; the platform buffer's mUserData points back here.
  struct Buffer : QueueBuffer {
    AudioQueueBufferRef platform = nullptr;
  };

  static void bufferDone(void* userData, AudioQueueRef queue, AudioQueueBufferRef buffer);
  static void runningChanged(void* userData, AudioQueueRef queue, AudioQueuePropertyID property);
  bool platformRunning();
  void checkEnd();

  OutputCallback callback_;
  void* context_;
  AudioQueueRef queue_ = nullptr;
  std::atomic<bool> disposed_{false};
  // A stop was asked for since the last start: no more buffers are taken.
  std::atomic<bool> stopping_{false};
  // An immediate stop hands the dropped buffers back through the platform callback, during the stop
  // and even after it; those never reach our callback.
  std::atomic<bool> dropping_{false};
  // Running from a start to the end of a stop; see QueueRunState for how the end is found.
  QueueRunState runState_;
  // Platform callbacks (buffers, running-flag notices) pass this gate instead of taking a lock:
  // AudioToolbox may call them while holding its own locks, and our callback calls back into
  // AudioToolbox. `dispose` closes it, so a callback either ends before the queue goes, or does
  // nothing.
  CallGate callbacks_;
  // Guards only the list of our buffers; never held across an AudioQueue call.
  std::mutex buffersMutex_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
};

// Makes AudioQueue output queues. Any thread.
class AudioQueueFactory : public AudioOutput {
 public:
  OSStatus newOutput(const vellory::AudioStreamBasicDescription& format, OutputCallback callback,
                     void* context, std::unique_ptr<OutputQueue>& outQueue) override;
};

}  // namespace vellory::macos
