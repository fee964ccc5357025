#include "e2e/support/Recorder.hpp"

#include <signal.h>

#include <thread>

#include "e2e/support/SoundFixtures.hpp"

namespace vellory::e2e {

Recorder::Recorder(const std::string& source, const std::string& path, int channels,
                   const std::string& channelMap)
    : path_(path) {
  // On PipeWire a recorder asking for 10 ms loses blocks when both cores are busy. On PulseAudio
  // its latency is the sink's, and a monitor does not get back what a starting stream rewinds:
  // a 50 ms recorder there heard 30 to 40 ms less of a 1 s announcement.
  const std::string latency = serverKind() == "pulseaudio" ? "10" : "50";
  std::vector<std::string> argv{"parecord",
                                "--device=" + source,
                                "--rate=48000",
                                "--format=float32le",
                                "--channels=" + std::to_string(channels),
                                "--latency-msec=" + latency,
                                "--file-format=wav"};
  if (!channelMap.empty()) argv.push_back("--channel-map=" + channelMap);
  argv.push_back(path);
  process_ = std::make_unique<BackgroundProcess>(argv);
}

Recorder::~Recorder() = default;

Recording Recorder::finish() {
  // What was played last reaches the recorder a fragment later; a stop before that cuts it off.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  process_->signal(SIGINT);
  process_->wait(std::chrono::seconds(5));
  process_.reset();
  return readRecording(path_);
}

}  // namespace vellory::e2e
