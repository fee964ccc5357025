#include "e2e/support/Recorder.hpp"

#include <signal.h>

namespace vellory::e2e {

Recorder::Recorder(const std::string& source, const std::string& path, int channels,
                   const std::string& channelMap)
    : path_(path) {
  std::vector<std::string> argv{"parecord",
                                "--device=" + source,
                                "--rate=48000",
                                "--format=float32le",
                                "--channels=" + std::to_string(channels),
                                "--latency-msec=50",
                                "--file-format=wav"};
  if (!channelMap.empty()) argv.push_back("--channel-map=" + channelMap);
  argv.push_back(path);
  process_ = std::make_unique<BackgroundProcess>(argv);
}

Recorder::~Recorder() = default;

Recording Recorder::finish() {
  process_->signal(SIGINT);
  process_->wait(std::chrono::seconds(5));
  process_.reset();
  return readRecording(path_);
}

}  // namespace vellory::e2e
