#include "shared/ChannelPeaks.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

namespace vellory {

namespace {

// fabs clears the sign bit of every value, NaN included.
std::uint32_t magnitudeBits(float sample) {
  return std::bit_cast<std::uint32_t>(std::fabs(sample));
}

void raiseTo(std::atomic<std::uint32_t>& peak, std::uint32_t bits) {
  std::uint32_t seen = peak.load(std::memory_order_relaxed);
  while (bits > seen && !peak.compare_exchange_weak(seen, bits, std::memory_order_relaxed)) {
  }
}

}  // namespace

ChannelPeaks::ChannelPeaks(std::size_t channels) : peaks_(channels) {
  for (auto& peak : peaks_) peak.store(0, std::memory_order_relaxed);
}

void ChannelPeaks::add(std::size_t firstChannel, std::size_t bufferChannels, const float* samples,
                       std::size_t frames) {
  if (samples == nullptr || firstChannel >= peaks_.size()) return;
  const std::size_t kept = std::min(bufferChannels, peaks_.size() - firstChannel);
  for (std::size_t channel = 0; channel < kept; ++channel) {
    std::uint32_t loudest = 0;
    for (std::size_t frame = 0; frame < frames; ++frame) {
      const std::uint32_t bits = magnitudeBits(samples[frame * bufferChannels + channel]);
      if (bits > loudest) loudest = bits;
    }
    raiseTo(peaks_[firstChannel + channel], loudest);
  }
}

void ChannelPeaks::countFrames(std::size_t frames) {
  frames_.fetch_add(frames, std::memory_order_release);
}

PeakSnapshot ChannelPeaks::take() {
  PeakSnapshot snapshot;
  snapshot.frames = frames_.exchange(0, std::memory_order_acquire);
  snapshot.peaks.reserve(peaks_.size());
  for (auto& peak : peaks_) {
    snapshot.peaks.push_back(std::bit_cast<float>(peak.exchange(0, std::memory_order_relaxed)));
  }
  return snapshot;
}

}  // namespace vellory
