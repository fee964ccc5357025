#include <gtest/gtest.h>

#include "announcement/FadeRamps.hpp"

namespace vellory::announcement {
namespace {

TEST(FadeRamps, FadeInClimbsInTwentyStepsFromSilence) {
  FadeRamps ramps;
  EXPECT_EQ(ramps.fadeInGain(0), 1.0f);
  ramps.fadeInFrames = 2000;
  EXPECT_EQ(ramps.fadeInGain(0), 0.0f);
  EXPECT_EQ(ramps.fadeInGain(99), 0.0f);
  EXPECT_FLOAT_EQ(ramps.fadeInGain(100), 0.05f);
  EXPECT_FLOAT_EQ(ramps.fadeInGain(1999), 0.95f);
  EXPECT_EQ(ramps.fadeInGain(2000), 1.0f);
  EXPECT_TRUE(ramps.shapes(1999));
  EXPECT_FALSE(ramps.shapes(2000));
}

TEST(FadeRamps, FadeOutStepsDownFromItsStartToSilence) {
  FadeRamps ramps;
  ramps.fadingOut = true;
  ramps.fadeOutStart = 0.5f;
  ramps.fadeOutFrom = 1000;
  ramps.fadeOutTo = 3000;
  EXPECT_EQ(ramps.fadeOutGain(999), 0.5f);
  // 20 steps of 100 frames; each lowers the gain at its end.
  EXPECT_EQ(ramps.fadeOutGain(1000), 0.5f);
  EXPECT_EQ(ramps.fadeOutGain(1099), 0.5f);
  EXPECT_FLOAT_EQ(ramps.fadeOutGain(1100), 0.475f);
  EXPECT_FLOAT_EQ(ramps.fadeOutGain(1999), 0.275f);
  EXPECT_FLOAT_EQ(ramps.fadeOutGain(2000), 0.25f);
  EXPECT_FLOAT_EQ(ramps.fadeOutGain(2899), 0.05f);
  EXPECT_FLOAT_EQ(ramps.fadeOutGain(2900), 0.025f);
  EXPECT_FLOAT_EQ(ramps.fadeOutGain(2999), 0.025f);
  EXPECT_EQ(ramps.fadeOutGain(3000), 0.0f);
  EXPECT_EQ(ramps.fadeOutGain(1'000'000), 0.0f);
}

TEST(FadeRamps, FadeOutEndsNoLaterThanTheFile) {
  EXPECT_EQ(fadeOutEnd(1000, 5000, 100000), 6000);
  EXPECT_EQ(fadeOutEnd(1000, 3000, 3500), 3499);  // silent at the last frame
  EXPECT_EQ(fadeOutEnd(1000, 2500, 3500), 3499);
  EXPECT_EQ(fadeOutEnd(3499, 10, 3500), 3499);
  EXPECT_EQ(fadeOutEnd(1000, 5000, 4000), 6000);  // longer than the whole file
  EXPECT_EQ(fadeOutEnd(1000, 5000, 0), 6000);     // length unknown
  EXPECT_EQ(fadeOutEnd(1000, 5000, 500), 6000);   // already past the reported end
  EXPECT_EQ(fadeOutEnd(1000, 0, 100000), 1001);
}

}  // namespace
}  // namespace vellory::announcement
