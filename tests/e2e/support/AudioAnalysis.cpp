#include "e2e/support/AudioAnalysis.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vellory::e2e {

std::vector<float> Recording::tail(std::size_t channel, double seconds) const {
  const auto& samples = channels.at(channel);
  const auto count = std::min(samples.size(), static_cast<std::size_t>(seconds * sampleRate));
  return {samples.end() - static_cast<std::ptrdiff_t>(count), samples.end()};
}

Recording readRecording(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr)
    throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
  const sf_count_t frames = sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  Recording recording;
  recording.sampleRate = info.samplerate;
  recording.channels.assign(static_cast<std::size_t>(info.channels), {});
  for (sf_count_t frame = 0; frame < frames; ++frame) {
    for (int c = 0; c < info.channels; ++c) {
      recording.channels[static_cast<std::size_t>(c)].push_back(
          interleaved[static_cast<std::size_t>(frame * info.channels + c)]);
    }
  }
  return recording;
}

double toneAmplitude(const std::vector<float>& samples, double sampleRate, double frequency) {
  const auto window = static_cast<std::size_t>(sampleRate / 10);
  if (window == 0 || samples.size() < window) return 0;
  double total = 0;
  int windows = 0;
  for (std::size_t start = 0; start + window <= samples.size(); start += window) {
    // Goertzel on a Hann-weighted window.
    const double omega = 2.0 * M_PI * frequency / sampleRate;
    const double coefficient = 2.0 * std::cos(omega);
    double previous = 0;
    double beforePrevious = 0;
    double weightSum = 0;
    for (std::size_t i = 0; i < window; ++i) {
      const double weight = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) /
                                                 static_cast<double>(window - 1));
      weightSum += weight;
      const double current = samples[start + i] * weight + coefficient * previous - beforePrevious;
      beforePrevious = previous;
      previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious -
                         coefficient * previous * beforePrevious;
    total += 2.0 * std::sqrt(std::max(0.0, power)) / weightSum;
    ++windows;
  }
  return total / windows;
}

double rms(const std::vector<float>& samples) {
  if (samples.empty()) return 0;
  double sum = 0;
  for (const float sample : samples) sum += static_cast<double>(sample) * sample;
  return std::sqrt(sum / static_cast<double>(samples.size()));
}

double peak(const std::vector<float>& samples) {
  double result = 0;
  for (const float sample : samples)
    result = std::max(result, std::fabs(static_cast<double>(sample)));
  return result;
}

}  // namespace vellory::e2e
