#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "shared/AudioTypes.hpp"

namespace vellory {

// One buffer of an output queue, owned by its queue.
struct QueueBuffer {
  void* audioData = nullptr;
  std::uint32_t audioDataBytesCapacity = 0;
  std::uint32_t audioDataByteSize = 0;
};

class OutputQueue;

// Called on the queue's own thread once for each buffer whose bytes the queue has taken, so
// that the buffer can be filled and queued again. Never called for buffers dropped by an
// immediate stop, nor after `dispose`.
using OutputCallback = void (*)(void* context, OutputQueue& queue, QueueBuffer* buffer);

// A pull-style output audio queue. Destroying it disposes of it as `dispose` does.
class OutputQueue {
 public:
  virtual ~OutputQueue() = default;

  // Owner thread, before start. Fails with the platform's allocation status.
  virtual OSStatus allocateBuffer(std::uint32_t byteCapacity, QueueBuffer*& outBuffer) = 0;

  // Any thread, also from the callback. Queues the buffer's valid bytes behind those queued.
  // Buffers queued before `start` wait for it. Fails with -50 for an empty or foreign buffer,
  // 'stop' once the queue is stopped or the sound server went away.
  virtual OSStatus enqueueBuffer(QueueBuffer* buffer) = 0;

  // Owner thread. Starts playing as soon as possible. Fails with the platform's status.
  virtual OSStatus start() = 0;

  // Any thread, also from the callback. Immediate: silence at once, queued buffers are dropped;
  // otherwise the queue plays out what is queued and then stops (`isRunning` turns false once
  // the last of it has been heard). Never blocks on the playing out.
  virtual OSStatus stop(bool immediate) = 0;

  // Any thread. True from a successful `start` until an immediate stop, until a stop that plays
  // out has finished playing, or until the sound server went away.
  virtual bool isRunning() = 0;

  // Owner thread. Moves the queue to the output device with that UID (before or after start).
  // Fails with '!obj' for an unknown device or the platform's status.
  virtual OSStatus setCurrentDevice(const std::string& deviceUID) = 0;

  // Any thread but the callback's. Releases the queue and its buffers at once; waits for a
  // callback in progress, and no callback runs afterwards. Safe to call more than once.
  virtual void dispose() = 0;
};

// Makes output queues. Any thread.
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;

  // A new, stopped output queue for the given format. Fails with the platform's status
  // ('stop' when no sound server can be reached, 'fmt?' for a format it cannot play).
  virtual OSStatus newOutput(const AudioStreamBasicDescription& format, OutputCallback callback,
                             void* context, std::unique_ptr<OutputQueue>& outQueue) = 0;
};

}  // namespace vellory
