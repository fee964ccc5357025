#include "announcement/BufferStatistics.hpp"

#include <algorithm>
#include <cmath>

#include "announcement/FloatText.hpp"

namespace vellory::announcement {

BufferPeaks peaksOf(const float* interleaved, std::uint32_t frames) {
  BufferPeaks peaks;
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    peaks.left = std::max(peaks.left, std::fabs(interleaved[2 * frame]));
    peaks.right = std::max(peaks.right, std::fabs(interleaved[2 * frame + 1]));
  }
  return peaks;
}

std::string firstBufferText(const BufferPeaks& peaks, std::uint32_t frames) {
  return "first buffer Lmax=" + floatText(peaks.left) + " Rmax=" + floatText(peaks.right) +
         " frames=" + std::to_string(frames);
}

}  // namespace vellory::announcement
