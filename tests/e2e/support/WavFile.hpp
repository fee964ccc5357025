#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellory::e2e {

// A 48000 Hz stereo 16-bit WAV file holding `pcm`.
void writeWav(const std::string& path, const std::vector<std::uint8_t>& pcm);
// A silent WAV file of `seconds` in the same format that takes no disk space.
void writeSparseWav(const std::string& path, std::uint64_t seconds);

}  // namespace vellory::e2e
