#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "shared/AudioTypes.hpp"

namespace vellory {

// An audio file open for reading, delivering frames in a client format. Destroying it
// disposes of it. One thread at a time.
class AudioFile {
 public:
  virtual ~AudioFile() = default;

  // The file's own stream format. Fails with the reader's status.
  virtual OSStatus fileDataFormat(AudioStreamBasicDescription& out) = 0;

  // Length in frames at the file's own rate. Fails with the reader's status.
  virtual OSStatus fileLengthFrames(std::int64_t& out) = 0;

  // Every later read delivers this format. Fails when the reader cannot convert to it.
  virtual OSStatus setClientDataFormat(const AudioStreamBasicDescription& format) = 0;

  // Reads up to ioFrames frames into data (byteCapacity bytes) and sets ioFrames to the frames
  // delivered; 0 means the end of the file. Fails with the reader's status.
  virtual OSStatus read(std::uint32_t& ioFrames, void* data, std::uint32_t byteCapacity) = 0;

  // The reader's own words for the failure `read` has just returned, for an error line; by
  // default the status in signed decimal.
  virtual std::string readFailureText(OSStatus status) { return std::to_string(status); }
};

// Opens audio files. Any thread.
class AudioFileReader {
 public:
  virtual ~AudioFileReader() = default;
  virtual OSStatus open(const std::string& path, std::unique_ptr<AudioFile>& outFile) = 0;
};

}  // namespace vellory
