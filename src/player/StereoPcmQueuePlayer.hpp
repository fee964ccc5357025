#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "player/PcmStore.hpp"
#include "shared/OutputQueue.hpp"

namespace vellory::player {

// Plays 48000 Hz (or the given rate) stereo signed 16-bit PCM that a producer pushes in piece by
// piece, through an output queue of four buffers of 16384 bytes. An empty store while the input
// is open plays silence; after the end of the input the queue plays out what it holds and the
// player finishes. Destroying it stops it.
class StereoPcmQueuePlayer {
 public:
  static constexpr int bufferCount = 4;
  static constexpr std::uint32_t bufferFrames = 4096;

  explicit StereoPcmQueuePlayer(AudioOutput& output, double sampleRate = 48000.0);
  ~StereoPcmQueuePlayer();
  StereoPcmQueuePlayer(const StereoPcmQueuePlayer&) = delete;
  StereoPcmQueuePlayer& operator=(const StereoPcmQueuePlayer&) = delete;

  const AudioStreamBasicDescription& clientFormat() const { return clientFormat_; }

  // Any thread. Bytes received and not yet handed to the queue.
  std::size_t bufferedBytes() const { return store_.bufferedBytes(); }

  // Producer thread. Adds bytes at the end; an empty append does nothing.
  void append(const std::uint8_t* data, std::size_t size) { store_.append(data, size); }

  // Producer thread, once, after its last append.
  void markEnd() { store_.markEnd(); }

  // Producer thread. Blocks while more than `limit` bytes wait; false once the player has been
  // stopped (and at once from then on).
  bool waitForRoom(std::size_t limit) { return store_.waitForRoom(limit); }

  // Owner thread, once. Creates the queue, primes its four buffers from the store and starts
  // it; does nothing after a stop. Fails with PlayerError `playback`.
  void play();

  // Any thread, any number of times, also before `play`. Stops at once and releases the queue;
  // never fails.
  void stop();

  // Owner thread. True from `play` until a stop, or until the queue has played out the last of
  // the input (or stopped running by itself).
  bool isPlaying();

 private:
  static void callback(void* context, OutputQueue& queue, QueueBuffer* buffer);
  // Fills one buffer from the store (or with silence) and queues it, or finishes at the end.
  void enqueueFromPending(QueueBuffer* buffer, OutputQueue& queue);

  AudioOutput& output_;
  AudioStreamBasicDescription clientFormat_;
  PcmStore store_;
  std::mutex lifecycle_;  // serialises play and the release of the queue in stop
  std::unique_ptr<OutputQueue> queue_;
  std::atomic<bool> stopped_{false};
  std::atomic<bool> playing_{false};
  std::atomic<bool> finished_{false};
};

}  // namespace vellory::player
