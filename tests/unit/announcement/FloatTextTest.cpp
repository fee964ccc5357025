#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "announcement/BufferStatistics.hpp"
#include "announcement/FloatText.hpp"

namespace vellory::announcement {
namespace {

TEST(FloatText, ShortestFormThatReadsBackWithAFraction) {
  EXPECT_EQ(floatText(0.0f), "0.0");
  EXPECT_EQ(floatText(0.5f), "0.5");
  EXPECT_EQ(floatText(1.0f), "1.0");
  EXPECT_EQ(floatText(0.1f), "0.1");
  EXPECT_EQ(floatText(1.0f / 3.0f), "0.33333334");
  EXPECT_EQ(floatText(0.0001f), "0.0001");
  EXPECT_EQ(floatText(12.0f), "12.0");
  EXPECT_EQ(floatText(16777215.0f), "16777215.0");
}

TEST(FloatText, ExponentFormForTinyAndHugeMagnitudes) {
  EXPECT_EQ(floatText(0.00001f), "1e-05");
  EXPECT_EQ(floatText(0.0000999f), "9.99e-05");
  EXPECT_EQ(floatText(1.5e-10f), "1.5e-10");
  EXPECT_EQ(floatText(16777216.0f), "1.6777216e+07");
}

TEST(FloatText, EveryFormReadsBackAsTheSameFloat) {
  for (float value : {0.2f, 0.7071068f, 3.4028235e38f, 1.17549435e-38f, 0.99999994f, 4.5e-5f}) {
    EXPECT_EQ(std::stof(floatText(value)), value) << floatText(value);
  }
}

TEST(FirstBufferLine, PeaksPerChannelBeforeAnyGain) {
  std::vector<float> samples = {0.25f, -0.0f, -1.0f, 0.0f, 0.5f, 0.0f};
  const BufferPeaks peaks = peaksOf(samples.data(), 3);
  EXPECT_EQ(firstBufferText(peaks, 3), "first buffer Lmax=1.0 Rmax=0.0 frames=3");

  samples = {0.1f, -0.00001f, -0.3f, 0.00002f};
  EXPECT_EQ(firstBufferText(peaksOf(samples.data(), 2), 4096),
            "first buffer Lmax=0.3 Rmax=2e-05 frames=4096");
}

}  // namespace
}  // namespace vellory::announcement
