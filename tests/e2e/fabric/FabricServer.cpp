#include "FabricServer.hpp"

#include <cstring>

#include "e2e/support/AudioAnalysis.hpp"
#include "e2e/support/SoundFixtures.hpp"

namespace vellory::e2e {

namespace {

constexpr double rate = 48000.0;
constexpr std::size_t frameBytes = 4;  // two 16-bit channels

}  // namespace

CommandResult runFabricTool(const std::vector<std::string>& args) {
  std::vector<std::string> argv{program("vellory-output-fabric")};
  argv.insert(argv.end(), args.begin(), args.end());
  return runCommand(argv, std::chrono::seconds(10));
}

std::int64_t fabricModule() {
  for (const auto& sink : pactlJson({"list", "sinks"})) {
    if (sink["name"] == fabricSinkName) return sink["owner_module"].get<std::int64_t>();
  }
  return -1;
}

std::size_t fabricSinkCount() {
  std::size_t count = 0;
  for (const auto& sink : pactlJson({"list", "sinks"})) count += sink["name"] == fabricSinkName;
  return count;
}

MonitorRecorder::MonitorRecorder(const std::string& sinkName)
    : process_({"parecord", "--raw", "--rate=48000", "--channels=2", "--format=s16le",
                "--latency-msec=10", "--device=" + sinkName + ".monitor"}) {}

std::vector<float> MonitorRecorder::samples() {
  const std::string raw = process_.outputSoFar();
  std::vector<float> left(raw.size() / frameBytes);
  for (std::size_t i = 0; i < left.size(); ++i) {
    std::int16_t sample = 0;
    std::memcpy(&sample, raw.data() + i * frameBytes, sizeof sample);
    left[i] = static_cast<float>(sample) / 32768.0f;
  }
  return left;
}

double MonitorRecorder::recentToneAmplitude(double frequency) {
  const std::vector<float> all = samples();
  const std::size_t count = std::min(all.size(), static_cast<std::size_t>(rate / 2));
  return toneAmplitude({all.end() - static_cast<std::ptrdiff_t>(count), all.end()}, rate,
                       frequency);
}

double MonitorRecorder::recordedSeconds() {
  return static_cast<double>(process_.outputSoFar().size() / frameBytes) / rate;
}

}  // namespace vellory::e2e
