#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "shared/ChannelPeaks.hpp"

namespace vellory {
namespace {

TEST(ChannelPeaks, KeepsTheLargestMagnitudeOfEachChannelAcrossBuffersUntilTaken) {
  ChannelPeaks peaks(5);
  const float first[] = {0.25f, -0.5f, -0.75f, 0.125f};  // 2 frames of 2 channels
  const float second[] = {0.0f, -0.0f, 0.0625f};         // 1 frame of 3 channels
  peaks.add(0, 2, first, 2);
  peaks.add(2, 3, second, 1);
  peaks.countFrames(2);
  const PeakSnapshot snapshot = peaks.take();
  EXPECT_EQ(snapshot.frames, 2u);
  EXPECT_EQ(snapshot.peaks, (std::vector<float>{0.75f, 0.5f, 0.0f, 0.0f, 0.0625f}));
  EXPECT_FALSE(std::signbit(snapshot.peaks[3])) << "a negative zero is a zero";
  const PeakSnapshot next = peaks.take();
  EXPECT_EQ(next.frames, 0u);
  EXPECT_EQ(next.peaks, (std::vector<float>(5, 0.0f)));
}

TEST(ChannelPeaks, NotANumberIsLoudAndChannelsPastTheKeptOnesAreIgnored) {
  ChannelPeaks peaks(3);
  const float samples[] = {std::numeric_limits<float>::quiet_NaN(), 0.5f, 1.0f, 0.0f};
  peaks.add(1, 4, samples, 1);
  peaks.add(3, 1, samples, 1);
  peaks.add(0, 1, nullptr, 4);
  const PeakSnapshot snapshot = peaks.take();
  ASSERT_EQ(snapshot.peaks.size(), 3u);
  EXPECT_EQ(snapshot.peaks[0], 0.0f);
  EXPECT_TRUE(std::isnan(snapshot.peaks[1]));
  EXPECT_EQ(snapshot.peaks[2], 0.5f);
}

}  // namespace
}  // namespace vellory
