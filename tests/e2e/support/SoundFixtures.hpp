#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e/support/Command.hpp"

namespace vellory::e2e {

// A scratch folder removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes a sine tone WAV with sox (48000 Hz, float samples).
void makeTone(const std::string& path, double frequency, double seconds, int channels = 2,
              double amplitude = 0.5);

// Writes a WAV with a sine of its own on each channel (48000 Hz, float samples).
void makeChannelTones(const std::string& path, const std::vector<double>& frequencies,
                      double seconds, double amplitude = 0.5);

// A playback stream tagged as an application with a bundle id (application.id).
std::unique_ptr<BackgroundProcess> playAsApplication(const std::string& bundleID,
                                                     const std::string& file,
                                                     const std::string& device = "");

// `pactl -f json <args>` parsed.
nlohmann::json pactlJson(const std::vector<std::string>& args);

// Runs pactl and returns its standard output; fails the test when pactl fails.
std::string pactl(const std::vector<std::string>& args);

// Which server the tests run against: "pulseaudio", "pipewire" or "pipewire-desktop".
std::string serverKind();

}  // namespace vellory::e2e
