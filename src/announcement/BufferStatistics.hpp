#pragma once

#include <cstdint>
#include <string>

namespace vellory::announcement {

// The largest absolute left and right sample of interleaved stereo float frames.
struct BufferPeaks {
  float left = 0.0f;
  float right = 0.0f;
};

BufferPeaks peaksOf(const float* interleaved, std::uint32_t frames);

// "first buffer Lmax=<left> Rmax=<right> frames=<frames>" without prefix or line feed.
std::string firstBufferText(const BufferPeaks& peaks, std::uint32_t frames);

}  // namespace vellory::announcement
