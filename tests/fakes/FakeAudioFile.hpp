#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "shared/AudioFileReader.hpp"

namespace vellory::testing {

// What an opened fake file reports and delivers.
struct FakeFileScript {
  OSStatus openStatus = 0;
  bool openWithoutFile = false;  // open succeeds without handing out a file
  AudioStreamBasicDescription format{
      48000.0, formatLinearPCM, formatFlagIsFloat | formatFlagIsPacked, 8, 1, 8, 2, 32, 0};
  OSStatus formatStatus = 0;
  std::optional<std::int64_t> lengthFrames;  // absent: the frames the samples hold
  OSStatus lengthStatus = 0;
  OSStatus clientFormatStatus = 0;
  // The frames every read delivers, interleaved with `channels` samples per frame, already in
  // the client format (the fake does no conversion).
  std::vector<float> samples;
  std::uint32_t channels = 2;
  std::map<int, OSStatus> readFailures;  // read call of each file (0-based) -> status
  std::string readFailureText;           // the reader's words for them; empty: the status
  std::uint32_t maxFramesPerRead = 0;    // 0: as many as asked
};

// What happened to the files a reader opened. Outlives the files.
struct FakeFileRecord {
  std::vector<std::string> openedPaths;
  std::vector<AudioStreamBasicDescription> clientFormats;
  int reads = 0;  // by all files
  std::vector<std::uint32_t> framesRequested;
  int disposed = 0;
  int open = 0;  // files currently open
};

// Opens fake files that play the script. Thread-safe.
class FakeAudioFileReader : public AudioFileReader {
 public:
  explicit FakeAudioFileReader(FakeFileScript script = {});

  OSStatus open(const std::string& path, std::unique_ptr<AudioFile>& outFile) override;

  FakeFileRecord record() const;
  // Replaces the script for files opened from now on.
  void setScript(FakeFileScript script);

  struct Shared {
    std::mutex mutex;
    FakeFileRecord record;
  };

 private:
  std::shared_ptr<Shared> shared_;
  FakeFileScript script_;
};

// Stereo float frames with a constant left and right value, for scripts.
std::vector<float> constantFrames(std::size_t frames, float left, float right);

}  // namespace vellory::testing
