#pragma once

#include <cstdint>

namespace vellory::announcement {

// The fades as functions of a frame's position in the file, so that each frame carries the gain
// in force when it is heard, whatever audio was queued ahead of it. Both move in 20 equal steps.
struct FadeRamps {
  static constexpr int steps = 20;

  // Fade-in over frames [0, fadeInFrames): silent for the first step, then 1/20, 2/20, ...
  std::int64_t fadeInFrames = 0;

  // Fade-out over frames [fadeOutFrom, fadeOutTo) from fadeOutStart down in 20 steps: after k
  // steps the gain is fadeOutStart * (1 - k/20), so the first step keeps the starting gain and
  // silence begins at fadeOutTo, the end of the 20th.
  bool fadingOut = false;
  std::int64_t fadeOutFrom = 0;
  std::int64_t fadeOutTo = 0;
  float fadeOutStart = 1.0f;

  // Whether frames from `position` on may need a gain other than `volume`.
  bool shapes(std::int64_t position) const { return position < fadeInFrames || fadingOut; }

  float fadeInGain(std::int64_t position) const;
  float fadeOutGain(std::int64_t position) const;
};

// The end of the fade-out span for a fade of `frames` that starts at frame `from`. Frames are
// filled ahead of what is heard, and the fade-out is timed from the end of the fade-in, so a fade
// meant to end with the file would run past its last frame and end in a cut: it is made to end
// at the last frame instead, which is then silent. A fade longer than the whole file keeps its
// length, the file then ending at a falling level (`fileFrames` <= 0: length unknown).
std::int64_t fadeOutEnd(std::int64_t from, std::int64_t frames, std::int64_t fileFrames);

}  // namespace vellory::announcement
