#pragma once

#include <string>
#include <vector>

namespace vellory::e2e {

// A recording split into channels of float samples.
struct Recording {
  double sampleRate = 0;
  std::vector<std::vector<float>> channels;

  std::size_t frames() const { return channels.empty() ? 0 : channels.front().size(); }
  // The last `seconds` of one channel (all of it when shorter).
  std::vector<float> tail(std::size_t channel, double seconds) const;
};

// Reads any file libsndfile reads (multichannel WAVE_FORMAT_EXTENSIBLE included).
Recording readRecording(const std::string& path);

// Amplitude of a sine of `frequency` in `samples`, averaged over 0.1 s windows so that a tone a
// few hertz off (a resampling loopback) still counts fully.
double toneAmplitude(const std::vector<float>& samples, double sampleRate, double frequency);

double rms(const std::vector<float>& samples);
double peak(const std::vector<float>& samples);

}  // namespace vellory::e2e
