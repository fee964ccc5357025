#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/linux/DecodedSamples.hpp"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace vellory::libav {
namespace {

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

// A decoded frame of `channels` channels in `format` holding `samples`, in the format's own
// layout: channel after channel when planar, frame after frame otherwise.
template <typename Sample>
Frame frameOf(AVSampleFormat format, int channels, const std::vector<Sample>& samples) {
  Frame frame(av_frame_alloc());
  frame->format = format;
  frame->nb_samples = static_cast<int>(samples.size()) / channels;
  av_channel_layout_default(&frame->ch_layout, channels);
  EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
  const std::size_t planes = av_sample_fmt_is_planar(format) ? channels : 1;
  const std::size_t perPlane = samples.size() / planes;
  for (std::size_t plane = 0; plane < planes; ++plane) {
    std::memcpy(frame->extended_data[plane], samples.data() + plane * perPlane,
                perPlane * sizeof(Sample));
  }
  return frame;
}

std::vector<float> copied(const AVFrame& frame, int first, int count, std::uint32_t channels) {
  std::vector<float> out(static_cast<std::size_t>(count) * channels, -9.0f);
  copyDecodedFrames(frame, first, count, out.data(), channels);
  return out;
}

TEST(DecodedSamplesTest, MonoPlanarSixteenBitPlaysOnBothChannelsAtLibsndfilesScale) {
  const Frame frame = frameOf<std::int16_t>(AV_SAMPLE_FMT_S16P, 1, {16384, -32768, 32767, 1});
  EXPECT_EQ(copied(*frame, 1, 3, 2),
            (std::vector<float>{-1.0f, -1.0f, 32767 / 32768.0f, 32767 / 32768.0f, 1 / 32768.0f,
                                1 / 32768.0f}));
}

TEST(DecodedSamplesTest, PlanarStereoIsInterleavedLeftFirst) {
  // Left 0.25 and 0.5, right -0.25 and -0.5, as the AAC decoder delivers them.
  const Frame frame = frameOf<float>(AV_SAMPLE_FMT_FLTP, 2, {0.25f, 0.5f, -0.25f, -0.5f});
  EXPECT_EQ(copied(*frame, 0, 2, 2), (std::vector<float>{0.25f, -0.25f, 0.5f, -0.5f}));
}

TEST(DecodedSamplesTest, WiderFramesGiveTheirFirstChannelsInOrder) {
  // Apple Lossless at 24 bits decodes to 32-bit samples shifted up by 8.
  const Frame frame =
      frameOf<std::int32_t>(AV_SAMPLE_FMT_S32, 3, {1 << 30, -(1 << 30), 256, 0, 0, 0});
  EXPECT_EQ(copied(*frame, 0, 1, 2), (std::vector<float>{0.5f, -0.5f}));
  EXPECT_EQ(copied(*frame, 0, 1, 4), (std::vector<float>{0.5f, -0.5f, 1.0f / 8388608.0f, 0.0f}));
}

TEST(DecodedSamplesTest, EightBitAndDoubleSamples) {
  const Frame bytes = frameOf<std::uint8_t>(AV_SAMPLE_FMT_U8, 2, {128, 0, 192, 255});
  EXPECT_EQ(copied(*bytes, 0, 2, 2), (std::vector<float>{0.0f, -1.0f, 0.5f, 127 / 128.0f}));
  const Frame doubles = frameOf<double>(AV_SAMPLE_FMT_DBLP, 2, {0.125, -0.75});
  EXPECT_EQ(copied(*doubles, 0, 1, 2), (std::vector<float>{0.125f, -0.75f}));
}

}  // namespace
}  // namespace vellory::libav
