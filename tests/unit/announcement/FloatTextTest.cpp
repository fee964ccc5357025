#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "announcement/BufferStatistics.hpp"
#include "announcement/FloatText.hpp"

#ifndef __APPLE__
#include <charconv>
#endif

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

#ifndef __APPLE__
// The standard library's shortest form, with the same choice of style; macOS before 13.3 lacks
// it, which is why the text is made another way.
std::string standardText(float value) {
  const float magnitude = std::fabs(value);
  const bool exponent = magnitude != 0.0f && (magnitude < 1e-4f || magnitude >= 16777216.0f);
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, value,
                    exponent ? std::chars_format::scientific : std::chars_format::fixed);
  std::string out(text, result.ptr);
  if (!exponent && out.find('.') == std::string::npos) out += ".0";
  return out;
}

float fromBits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(FloatText, SameAsTheStandardShortestForm) {
  std::vector<std::uint32_t> patterns;
  // Every power of two and the values on either side of one, where the nearest decimal of a
  // length may not read back while a farther one does; then values at random.
  for (std::uint32_t exponent = 0; exponent < 255; ++exponent) {
    for (const std::uint32_t mantissa : {0u, 1u, 0x7FFFFFu}) {
      patterns.push_back(exponent << 23 | mantissa);
    }
  }
  std::mt19937 random(20261208);
  for (int i = 0; i < 100000; ++i) patterns.push_back(random() & 0x7FFFFFFFu);
  for (const std::uint32_t bits : patterns) {
    for (const std::uint32_t sign : {0u, 0x80000000u}) {
      const float value = fromBits(bits | sign);
      if (!std::isfinite(value)) continue;
      ASSERT_EQ(floatText(value), standardText(value)) << std::hexfloat << value;
    }
  }
}
#endif

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
