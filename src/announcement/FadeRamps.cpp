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
  const std::int64_t span = std::max<std::int64_t>(1, fadeOutTo - fadeOutFrom);
  const std::int64_t step =
      std::min<std::int64_t>(steps, (position - fadeOutFrom) * steps / span + 1);
  return fadeOutStart * (1.0f - static_cast<float>(step) / static_cast<float>(steps));
}

std::int64_t fadeOutEnd(std::int64_t from, std::int64_t frames, std::int64_t fileFrames) {
  const std::int64_t end = from + std::max<std::int64_t>(1, frames);
  if (fileFrames > from && frames <= fileFrames) return std::min(end, fileFrames);
  return end;
}

}  // namespace vellory::announcement
