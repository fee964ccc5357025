#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace vellory::player {

// Received PCM waiting to be played, oldest first, in fixed-size chunks: appending and taking
// cost the same however much waits, and memory follows what waits, not what has passed through.
// It hands out whole frames only, so a read that ends inside a frame shifts nothing; a partial
// frame left when the input has ended is dropped. Thread-safe; one lock guards everything.
class PcmStore {
 public:
  static constexpr std::size_t bytesPerFrame = 4;
  static constexpr std::size_t chunkBytes = 65536;

  struct Taken {
    std::size_t bytes = 0;  // copied into the destination, a whole number of frames
    bool ended = false;     // the input has ended and nothing is left
  };

  // Producer thread. An empty append is ignored without taking the lock.
  void append(const std::uint8_t* data, std::size_t size);

  // Producer thread, after its last append.
  void markEnd();

  // Any thread. Bytes waiting, a partial frame included.
  std::size_t bufferedBytes() const;

  // Any thread; never waits for the producer. Copies up to `capacity` bytes of whole frames.
  Taken take(std::uint8_t* destination, std::size_t capacity);

  // Producer thread. Blocks while more than `limit` bytes wait, until `release`. False once
  // released.
  bool waitForRoom(std::size_t limit);

  // Any thread. Ends every wait for room, now and later.
  void release();

 private:
  mutable std::mutex mutex_;
  std::condition_variable room_;
  std::deque<std::vector<std::uint8_t>> chunks_;
  std::size_t frontOffset_ = 0;  // bytes of the front chunk already taken
  std::size_t size_ = 0;
  bool inputEnded_ = false;
  bool released_ = false;
};

}  // namespace vellory::player
