#include "announcement/FadeRamps.hpp"

#include <algorithm>

namespace vellory::announcement {

float FadeRamps::fadeInGain(std::int64_t position) const {
  if (fadeInFrames <= 0 || position >= fadeInFrames) return 1.0f;
  const auto step = static_cast<int>(std::max<std::int64_t>(0, position) * steps / fadeInFrames);
  return static_cast<float>(step) / static_cast<float>(steps);
}

float FadeRamps::fadeOutGain(std::int64_t position) const {
  if (!fadingOut || position < fadeOutFrom) return fadeOutStart;
  if (position >= fadeOutTo) return 0.0f;
  // Each step lowers the gain at its end, as the owner's timed steps do: the first step still
  // sounds at the starting gain, the last at 1/20 of it.
  const std::int64_t step = (position - fadeOutFrom) * steps / (fadeOutTo - fadeOutFrom);
  return fadeOutStart * (1.0f - static_cast<float>(step) / static_cast<float>(steps));
}

std::int64_t fadeOutEnd(std::int64_t from, std::int64_t frames, std::int64_t fileFrames) {
  const std::int64_t end = from + std::max<std::int64_t>(1, frames);
  if (fileFrames > from && frames <= fileFrames) return std::min(end, fileFrames - 1);
  return end;
}

}  // namespace vellory::announcement
