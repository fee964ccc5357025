#include "FabricServer.hpp"

#include <sndfile.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <stdexcept>

namespace vellory::e2e {

using nlohmann::json;

CommandResult runFabricTool(const std::vector<std::string>& args) {
  std::vector<std::string> argv{program("vellory-output-fabric")};
  argv.insert(argv.end(), args.begin(), args.end());
  return runCommand(argv, std::chrono::seconds(10));
}

json serverSinks() {
  const CommandResult result = runCommand({"pactl", "-f", "json", "list", "sinks"});
  if (result.status != 0) throw std::runtime_error("pactl list sinks failed: " + result.err);
  return json::parse(result.out);
}

std::string serverDefaultSink() {
  std::string name = runCommand({"pactl", "get-default-sink"}).out;
  while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
  return name;
}

std::int64_t fabricModule() {
  for (const auto& sink : serverSinks()) {
    if (sink["name"] == fabricSinkName) return sink["owner_module"].get<std::int64_t>();
  }
  return -1;
}

std::size_t fabricSinkCount() {
  std::size_t count = 0;
  for (const auto& sink : serverSinks()) count += sink["name"] == fabricSinkName ? 1 : 0;
  return count;
}

ToneFile::ToneFile(double frequency, std::chrono::milliseconds length) {
  std::string pattern = (std::filesystem::temp_directory_path() / "vellory-tone.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  directory_ = pattern;
  path_ = directory_ + "/tone.wav";
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path_.c_str(), SFM_WRITE, &info);
  if (file == nullptr) throw std::runtime_error("cannot write " + path_);
  const auto frames = static_cast<std::size_t>(length.count()) * 48;
  std::vector<float> samples(frames * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    const double phase = 2.0 * std::numbers::pi * frequency * static_cast<double>(i) / 48000.0;
    samples[2 * i] = samples[2 * i + 1] = static_cast<float>(0.5 * std::sin(phase));
  }
  sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
  sf_close(file);
}

ToneFile::~ToneFile() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

MonitorRecorder::MonitorRecorder(const std::string& sinkName)
    : process_({"parecord", "--raw", "--rate=48000", "--channels=2", "--format=s16le",
                "--latency-msec=10", "--device=" + sinkName + ".monitor"}) {}

double MonitorRecorder::recordedSeconds() {
  return static_cast<double>(process_.outputSoFar().size()) / (48000.0 * 4);
}

double MonitorRecorder::toneAmplitude(double frequency) {
  const std::string raw = process_.outputSoFar();
  constexpr std::size_t frameBytes = 4;
  constexpr std::size_t block = 4800;
  const std::size_t frames = raw.size() / frameBytes;
  // Goertzel filter on the left channel, block by block.
  const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / 48000.0);
  double strongest = 0;
  for (std::size_t start = 0; start + block <= frames; start += block) {
    double previous = 0, beforePrevious = 0, energy = 0;
    for (std::size_t i = start; i < start + block; ++i) {
      std::int16_t sample = 0;
      std::memcpy(&sample, raw.data() + i * frameBytes, sizeof sample);
      const double x = sample / 32768.0;
      energy += x * x;
      const double current = x + coefficient * previous - beforePrevious;
      beforePrevious = previous;
      previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious -
                         coefficient * previous * beforePrevious;
    const double amplitude = 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(block);
    const double meanSquare = energy / static_cast<double>(block);
    if (meanSquare > 0 && amplitude * amplitude / 2.0 > 0.8 * meanSquare) {
      strongest = std::max(strongest, amplitude);
    }
  }
  return strongest;
}

}  // namespace vellory::e2e
