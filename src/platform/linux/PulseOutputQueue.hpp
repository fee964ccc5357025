#pragma once

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "shared/OutputQueue.hpp"

namespace vellory::pulse {

// An output queue as one playback stream of its own connection, on a threaded main loop of
// its own. Queued buffers wait in a local list; the stream asks for bytes as its server-side
// buffer drains, and a buffer goes back through the callback once all of its bytes have been
// written. The server keeps about two buffers of audio, so what is filled is heard soon after.
// Callbacks run on the main loop's thread, the queue's own, one at a time: a buffer that the
// loop finishes goes back at once, without waking another thread; one finished elsewhere (by an
// enqueue or a start on the owner's thread) is handed to the loop to go back from there.
class PulseOutputQueue : public OutputQueue {
 public:
  // Connects to the server; `status()` says whether that worked. Any thread.
  PulseOutputQueue(const AudioStreamBasicDescription& format, OutputCallback callback,
                   void* context);
  ~PulseOutputQueue() override;
  PulseOutputQueue(const PulseOutputQueue&) = delete;
  PulseOutputQueue& operator=(const PulseOutputQueue&) = delete;

  // 0 when connected; 'fmt?' for a format the server cannot take; 'stop' without a server.
  OSStatus status() const { return status_; }

  OSStatus allocateBuffer(std::uint32_t byteCapacity, QueueBuffer*& outBuffer) override;
  OSStatus enqueueBuffer(QueueBuffer* buffer) override;
  OSStatus start() override;
  OSStatus stop(bool immediate) override;
  bool isRunning() override;
  OSStatus setCurrentDevice(const std::string& deviceUID) override;
  void dispose() override;

  // The sample format the server is asked for, or false when the description has none.
  static bool sampleSpecFor(const AudioStreamBasicDescription& format, pa_sample_spec& spec);

 private:
  struct Buffer {
    QueueBuffer record;
    std::vector<std::byte> storage;
    bool queued = false;
  };

  static void streamStateChanged(pa_stream* stream, void* userdata);
  static void streamWantsData(pa_stream* stream, std::size_t bytes, void* userdata);
  static void drainFinished(pa_stream* stream, int success, void* userdata);
  static void timingKnown(pa_stream* stream, int success, void* userdata);

  bool connectLocked();
  bool waitLocked(pa_operation* operation);
  Buffer* find(QueueBuffer* buffer);
  // Writes what the stream can take. Loop lock held (or on the loop's thread).
  void pumpLocked();
  // The bytes queued and not yet written, the carried part of a frame included.
  std::size_t queuedBytesLocked() const;
  // Moves `count` queued bytes to `to`, handing every buffer emptied on the way to `done`.
  void copyOutLocked(std::byte* to, std::size_t count, std::vector<QueueBuffer*>& done);
  void retireHeadLocked(std::vector<QueueBuffer*>& done);
  void requestDrainLocked();
  void closeStreamLocked();
  // Hands buffers back through the callback, on the loop's thread. Loop lock held.
  void giveBack(std::vector<QueueBuffer*> buffers);
  void deliverLocked();
  static void deliverOnLoop(pa_mainloop_api* api, void* userdata);

  const OutputCallback callback_;
  void* const context_;
  pa_sample_spec spec_{};
  std::size_t frameBytes_ = 0;
  OSStatus status_ = 0;

  // Guarded by the loop lock.
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* connection_ = nullptr;
  pa_stream* stream_ = nullptr;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::deque<Buffer*> pending_;
  std::size_t headOffset_ = 0;
  std::vector<std::byte> partialFrame_;
  std::string device_;
  bool started_ = false;
  bool stopped_ = false;
  bool draining_ = false;
  bool drainRequested_ = false;
  bool failed_ = false;

  std::atomic<bool> running_{false};
  // After a drain, the queue runs on until the audio the server still holds has been heard.
  std::atomic<std::int64_t> runsUntilNanos_{0};

  // Buffers waiting to go back, and whether the loop has been asked to send them. Loop lock.
  std::deque<QueueBuffer*> toReturn_;
  bool deliveryScheduled_ = false;
  bool delivering_ = false;

  std::atomic<bool> closed_{false};
  std::mutex disposeMutex_;
  bool disposed_ = false;
};

// Makes PulseOutputQueue objects.
class PulseAudioOutput : public AudioOutput {
 public:
  OSStatus newOutput(const AudioStreamBasicDescription& format, OutputCallback callback,
                     void* context, std::unique_ptr<OutputQueue>& outQueue) override;
};

}  // namespace vellory::pulse
