#pragma once

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e/support/Command.hpp"

namespace vellory::e2e {

inline constexpr const char* fabricSinkName = "com.kandimer.output-fabric";

// Runs vellory-output-fabric with the given arguments.
CommandResult runFabricTool(const std::vector<std::string>& args);

// The server's sinks as `pactl -f json list sinks` reports them.
nlohmann::json serverSinks();
std::string serverDefaultSink();
// The module that owns the fabric's sink, or -1 when there is no fabric sink.
std::int64_t fabricModule();
std::size_t fabricSinkCount();

// A stereo 16-bit WAV of a sine tone at 48000 Hz, written into a fresh temporary directory.
class ToneFile {
 public:
  ToneFile(double frequency, std::chrono::milliseconds length);
  ~ToneFile();
  const std::string& path() const { return path_; }

 private:
  std::string directory_;
  std::string path_;
};

// Records a sink's monitor as raw 48000 Hz stereo 16-bit and looks for a tone in it.
class MonitorRecorder {
 public:
  explicit MonitorRecorder(const std::string& sinkName);
  // Amplitude (0..1, left channel) of the strongest 0.1 s block in which `frequency` carries
  // most of the energy; 0 when there is none.
  double toneAmplitude(double frequency);
  // Seconds of audio received so far.
  double recordedSeconds();

 private:
  BackgroundProcess process_;
};

}  // namespace vellory::e2e
