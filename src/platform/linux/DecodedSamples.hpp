#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

namespace vellory::libav {

// Copies `count` frames from frame `first` of a decoded audio frame, in any of FFmpeg's sample
// formats, planar or interleaved, into `out` as interleaved float with `channels` channels: a
// mono frame on every channel, a wider one's first channels in order, missing ones silent.
// Integer samples are scaled by their full scale (a 16-bit sample by 1/32768, as libsndfile
// does), so that lossless audio reads the same through either reader. A sample format that is
// not audio gives silence.
void copyDecodedFrames(const AVFrame& frame, int first, int count, float* out,
                       std::uint32_t channels);

}  // namespace vellory::libav
