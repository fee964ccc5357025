#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vellory {

// What a device delivered over a stretch of time: the frames, and for each channel the largest
// magnitude of its samples (0 exactly when every sample was a zero; NaN counts as loud).
struct PeakSnapshot {
  std::uint64_t frames = 0;
  std::vector<float> peaks;
};

// Per-channel peaks gathered on a device's IO thread and taken from another thread, without a
// lock or an allocation on the IO thread.
class ChannelPeaks {
 public:
  explicit ChannelPeaks(std::size_t channels);

  // IO thread: `frames` frames of `bufferChannels` interleaved samples, the first of which is
  // device channel `firstChannel`. Channels past the kept ones are ignored.
  void add(std::size_t firstChannel, std::size_t bufferChannels, const float* samples,
           std::size_t frames);
  // IO thread: one IO cycle of `frames` frames has been added.
  void countFrames(std::size_t frames);

  // Any thread: what was added since the last take; starts over.
  PeakSnapshot take();

 private:
  // Magnitudes as their bit patterns: for floats that are not negative these order as the
  // numbers do (NaN above infinity), so the largest is an integer maximum.
  std::vector<std::atomic<std::uint32_t>> peaks_;
  std::atomic<std::uint64_t> frames_{0};
};

// A device being read for its peaks; destroying it ends the reading, after which nothing of it
// runs any more.
class ChannelPeakReader {
 public:
  virtual ~ChannelPeakReader() = default;
  // What the device delivered since the last take (since the reading began, the first time).
  virtual PeakSnapshot takePeaks() = 0;
};

}  // namespace vellory
