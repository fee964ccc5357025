#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "shared/OutputQueue.hpp"

namespace vellory::testing {

// The operations whose statuses a test can script.
enum class QueueCall { newOutput, allocate, enqueue, start, stop, setCurrentDevice };

// Scripted statuses: for each operation the front status is used by the next call (and
// removed); an empty list means success.
struct FakeQueueScript {
  std::map<QueueCall, std::deque<OSStatus>> results;
  // Allocation calls (0-based) that succeed without handing out a buffer.
  std::set<int> allocateWithoutBuffer;
  // newOutput succeeds without handing out a queue.
  bool newOutputWithoutQueue = false;
  // Device UIDs that setCurrentDevice refuses with '!obj'.
  std::set<std::string> unknownDevices;
};

// One buffer as it was when queued.
struct QueuedCopy {
  std::size_t bufferIndex = 0;  // order of allocation
  std::vector<std::byte> bytes;

  std::vector<float> floats() const;
};

class FakeOutputQueue;

// Everything one fake queue saw and still holds. It outlives the queue object, so a test can
// look at it after the code under test has released the queue. Thread-safe.
class FakeQueueCore {
 public:
  FakeQueueCore(AudioStreamBasicDescription queueFormat, OutputCallback callback,
                void* callbackContext, FakeQueueScript script);
  ~FakeQueueCore();
  FakeQueueCore(const FakeQueueCore&) = delete;
  FakeQueueCore& operator=(const FakeQueueCore&) = delete;

  // --- record ------------------------------------------------------------------------------
  const AudioStreamBasicDescription format;
  void* const context;
  // "allocate 32768", "enqueue 0 32768" (buffer index, bytes), "start", "stop immediate",
  // "stop playout", "setCurrentDevice speakers", "dispose"; rejected calls end in " -> status".
  std::vector<std::string> calls() const;
  std::size_t count(const std::string& prefix) const;
  std::vector<QueuedCopy> queuedHistory() const;  // every buffer queued, in order
  std::size_t queuedNow() const;                  // buffers waiting to be played
  bool running() const;
  bool disposed() const;
  std::string currentDevice() const;

  // --- playing -----------------------------------------------------------------------------
  // Hands the oldest queued buffer back through the callback on the calling thread, as if it
  // had been played. False when the queue is not running, has nothing queued or is disposed.
  bool playNext();
  // Plays until nothing is queued (or `limit` buffers); returns how many were played.
  std::size_t playAll(std::size_t limit = 1'000'000);
  // Plays one buffer every `interval` on a thread of the queue's own until stopAutoPlay or
  // disposal.
  void startAutoPlay(std::chrono::microseconds interval);
  void stopAutoPlay();
  // Waits until a callback is in progress (true) or `timeout` passes (false). For tests that
  // race a callback against something else.
  bool waitForCallbackInProgress(std::chrono::milliseconds timeout);
  // While held, callbacks block before returning; lets a test keep one in progress.
  void holdCallbacks(bool hold);
  // The queue stops running by itself, as when the sound server goes away; nothing more plays.
  void loseOutput();

 private:
  friend class FakeOutputQueue;

  OSStatus scripted(QueueCall call);
  void record(std::string text);

  OSStatus allocate(std::uint32_t byteCapacity, QueueBuffer*& outBuffer);
  OSStatus enqueue(QueueBuffer* buffer);
  OSStatus start();
  OSStatus stop(bool immediate);
  OSStatus setCurrentDevice(const std::string& deviceUID);
  void dispose(FakeOutputQueue* handle);
  void attach(FakeOutputQueue* handle);

  const OutputCallback callback_;
  FakeQueueScript script_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> calls_;
  std::vector<std::unique_ptr<QueueBuffer>> buffers_;
  std::vector<std::unique_ptr<std::vector<std::byte>>> memory_;
  std::deque<QueueBuffer*> queued_;
  std::vector<QueuedCopy> history_;
  int allocations_ = 0;
  bool started_ = false;
  bool running_ = false;
  bool draining_ = false;
  bool disposed_ = false;
  bool inCallback_ = false;
  bool hold_ = false;
  std::thread::id callbackThread_;
  std::string device_;
  FakeOutputQueue* handle_ = nullptr;

  // Held for the whole of a callback, so that dispose can wait for one in progress.
  std::mutex callbackMutex_;
  std::thread autoPlay_;
  std::atomic<bool> autoPlaying_{false};
};

// The queue object handed to the code under test; forwards to its core.
class FakeOutputQueue : public OutputQueue {
 public:
  explicit FakeOutputQueue(std::shared_ptr<FakeQueueCore> core);
  ~FakeOutputQueue() override;

  OSStatus allocateBuffer(std::uint32_t byteCapacity, QueueBuffer*& outBuffer) override;
  OSStatus enqueueBuffer(QueueBuffer* buffer) override;
  OSStatus start() override;
  OSStatus stop(bool immediate) override;
  bool isRunning() override;
  OSStatus setCurrentDevice(const std::string& deviceUID) override;
  void dispose() override;

 private:
  std::shared_ptr<FakeQueueCore> core_;
};

// Makes fake queues from a script and keeps the core of each. Thread-safe.
class FakeAudioOutput : public AudioOutput {
 public:
  // Copied into every queue made from now on.
  void setScript(FakeQueueScript script);

  OSStatus newOutput(const AudioStreamBasicDescription& format, OutputCallback callback,
                     void* context, std::unique_ptr<OutputQueue>& outQueue) override;

  std::size_t newOutputCalls() const;
  // The cores of the queues made so far, oldest first.
  std::vector<std::shared_ptr<FakeQueueCore>> queues() const;
  // The most recent queue's core, or null.
  std::shared_ptr<FakeQueueCore> last() const;

 private:
  mutable std::mutex mutex_;
  FakeQueueScript script_;
  std::size_t newOutputCalls_ = 0;
  std::vector<std::shared_ptr<FakeQueueCore>> queues_;
};

}  // namespace vellory::testing
