#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "e2e/support/Command.hpp"

namespace vellory::e2e {

inline constexpr const char* fabricSinkName = "com.kandimer.output-fabric";

// Runs vellory-output-fabric with the given arguments.
CommandResult runFabricTool(const std::vector<std::string>& args);

// The module that owns the fabric's sink, or -1 when there is no fabric sink.
std::int64_t fabricModule();
std::size_t fabricSinkCount();

// Records a sink's monitor as raw 48000 Hz stereo 16-bit and looks at it while it runs, so a
// test can wait for a tone to arrive instead of guessing how long it takes.
class MonitorRecorder {
 public:
  explicit MonitorRecorder(const std::string& sinkName);
  // Left-channel samples received so far.
  std::vector<float> samples();
  // Tone amplitude over the last half second.
  double recentToneAmplitude(double frequency);
  double recordedSeconds();

 private:
  BackgroundProcess process_;
};

}  // namespace vellory::e2e
