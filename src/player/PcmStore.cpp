#include "player/PcmStore.hpp"

#include <algorithm>
#include <cstring>

namespace vellory::player {

void PcmStore::append(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  std::lock_guard lock(mutex_);
  size_ += size;
  while (size > 0) {
    if (chunks_.empty() || chunks_.back().size() == chunkBytes) {
      chunks_.emplace_back();
      chunks_.back().reserve(chunkBytes);
    }
    auto& back = chunks_.back();
    const std::size_t n = std::min(size, chunkBytes - back.size());
    back.insert(back.end(), data, data + n);
    data += n;
    size -= n;
  }
}

void PcmStore::markEnd() {
  std::lock_guard lock(mutex_);
  inputEnded_ = true;
}

std::size_t PcmStore::bufferedBytes() const {
  std::lock_guard lock(mutex_);
  return size_;
}

PcmStore::Taken PcmStore::take(std::uint8_t* destination, std::size_t capacity) {
  Taken taken;
  {
    std::lock_guard lock(mutex_);
    const std::size_t wholeFrames = size_ - size_ % bytesPerFrame;
    std::size_t left = std::min(wholeFrames, capacity - capacity % bytesPerFrame);
    taken.bytes = left;
    size_ -= left;
    while (left > 0) {
      auto& front = chunks_.front();
      const std::size_t n = std::min(left, front.size() - frontOffset_);
      std::memcpy(destination, front.data() + frontOffset_, n);
      destination += n;
      left -= n;
      frontOffset_ += n;
      if (frontOffset_ == front.size()) {
        chunks_.pop_front();
        frontOffset_ = 0;
      }
    }
    if (inputEnded_ && size_ < bytesPerFrame) {
      chunks_.clear();
      frontOffset_ = 0;
      size_ = 0;
    }
    taken.ended = inputEnded_ && size_ == 0;
  }
  if (taken.bytes > 0) room_.notify_all();
  return taken;
}

bool PcmStore::waitForRoom(std::size_t limit) {
  std::unique_lock lock(mutex_);
  room_.wait(lock, [&] { return released_ || size_ <= limit; });
  return !released_;
}

void PcmStore::release() {
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  room_.notify_all();
}

}  // namespace vellory::player
