#pragma once

#include <memory>
#include <string>

#include "e2e/support/AudioAnalysis.hpp"
#include "e2e/support/Command.hpp"

namespace vellory::e2e {

// Records a source with parecord at 48000 Hz float into a WAV file until stopped. Opened with a
// small latency and kept attached, so an idle null sink's late first data is not waited for.
class Recorder {
 public:
  // `channelMap` empty: the source's own map.
  Recorder(const std::string& source, const std::string& path, int channels,
           const std::string& channelMap = "");
  ~Recorder();
  // Ends the recording and reads it back.
  Recording finish();

 private:
  std::unique_ptr<BackgroundProcess> process_;
  std::string path_;
};

}  // namespace vellory::e2e
