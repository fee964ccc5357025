#include "platform/linux/DecodedSamples.hpp"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace vellory::libav {

namespace {

template <typename Sample>
Sample load(const std::uint8_t* at) {
  Sample value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

float asFloat(AVSampleFormat format, const std::uint8_t* at) {
  switch (format) {
    case AV_SAMPLE_FMT_U8:
      return static_cast<float>(static_cast<int>(*at) - 128) / 128.0f;
    case AV_SAMPLE_FMT_S16:
      return static_cast<float>(load<std::int16_t>(at)) / 32768.0f;
    case AV_SAMPLE_FMT_S32:
      return static_cast<float>(static_cast<double>(load<std::int32_t>(at)) / 2147483648.0);
    case AV_SAMPLE_FMT_S64:
      return static_cast<float>(static_cast<double>(load<std::int64_t>(at)) /
                                9223372036854775808.0);
    case AV_SAMPLE_FMT_FLT:
      return load<float>(at);
    case AV_SAMPLE_FMT_DBL:
      return static_cast<float>(load<double>(at));
    default:
      return 0.0f;
  }
}

}  // namespace

void copyDecodedFrames(const AVFrame& frame, int first, int count, float* out,
                       std::uint32_t channels) {
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const int frameChannels = frame.ch_layout.nb_channels;
  const int size = av_get_bytes_per_sample(format);
  if (size == 0 || frameChannels <= 0) {
    std::fill(out, out + static_cast<std::size_t>(count) * channels, 0.0f);
    return;
  }
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  const AVSampleFormat packed = av_get_packed_sample_fmt(format);
  for (int index = first; index < first + count; ++index) {
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
      const int from = frameChannels == 1 ? 0 : static_cast<int>(channel);
      float value = 0.0f;
      if (from < frameChannels) {
        const std::uint8_t* at =
            planar ? frame.extended_data[from] + static_cast<std::ptrdiff_t>(index) * size
                   : frame.extended_data[0] +
                         (static_cast<std::ptrdiff_t>(index) * frameChannels + from) * size;
        value = asFloat(packed, at);
      }
      *out++ = value;
    }
  }
}

}  // namespace vellory::libav
