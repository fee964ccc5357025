#include "e2e/support/SoundFixtures.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

namespace vellory::e2e {

TempDir::TempDir() {
  std::string pattern = "/tmp/vellory-e2e.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void makeTone(const std::string& path, double frequency, double seconds, int channels,
              double amplitude) {
  const auto result =
      runCommand({"sox", "-n", "-r", "48000", "-c", std::to_string(channels), "-e",
                  "floating-point", "-b", "32", path, "synth", std::to_string(seconds), "sine",
                  std::to_string(frequency), "vol", std::to_string(amplitude)});
  ASSERT_EQ(result.status, 0) << result.err;
}

void makeChannelTones(const std::string& path, const std::vector<double>& frequencies,
                      double seconds, double amplitude) {
  std::vector<std::string> argv{"sox",
                                "-n",
                                "-r",
                                "48000",
                                "-c",
                                std::to_string(frequencies.size()),
                                "-e",
                                "floating-point",
                                "-b",
                                "32",
                                path,
                                "synth",
                                std::to_string(seconds)};
  for (const double frequency : frequencies) {
    argv.insert(argv.end(), {"sine", std::to_string(frequency)});
  }
  argv.insert(argv.end(), {"vol", std::to_string(amplitude)});
  const auto result = runCommand(argv);
  ASSERT_EQ(result.status, 0) << result.err;
}

std::unique_ptr<BackgroundProcess> playAsApplication(const std::string& bundleID,
                                                     const std::string& file,
                                                     const std::string& device) {
  std::vector<std::string> argv{"paplay", "--client-name=" + bundleID};
  if (!device.empty()) argv.push_back("--device=" + device);
  argv.push_back(file);
  return std::make_unique<BackgroundProcess>(
      argv, std::map<std::string, std::string>{{"PULSE_PROP", "application.id=" + bundleID}});
}

nlohmann::json pactlJson(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"pactl", "-f", "json"};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto result = runCommand(argv, std::chrono::seconds(10));
  if (result.status != 0) throw std::runtime_error("pactl failed: " + result.err);
  return nlohmann::json::parse(result.out);
}

std::string pactl(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"pactl"};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto result = runCommand(argv, std::chrono::seconds(10));
  if (result.status != 0) throw std::runtime_error("pactl failed: " + result.err);
  return result.out;
}

std::string serverKind() {
  const char* kind = getenv("VELLORY_SERVER_KIND");
  return kind ? kind : "pulseaudio";
}

}  // namespace vellory::e2e
