#pragma once

#include <AudioToolbox/ExtendedAudioFile.h>

#include <memory>
#include <string>

#include "shared/AudioFileReader.hpp"

namespace vellory::macos {

// An audio file read through ExtAudioFile, which decodes and converts to the client format.
// Statuses are AudioToolbox's, unchanged. Disposed of with the object. One thread at a time.
class ExtAudioFile : public AudioFile {
 public:
  explicit ExtAudioFile(ExtAudioFileRef file) : file_(file) {}
  ~ExtAudioFile() override;
  ExtAudioFile(const ExtAudioFile&) = delete;
  ExtAudioFile& operator=(const ExtAudioFile&) = delete;

  OSStatus fileDataFormat(vellory::AudioStreamBasicDescription& out) override;
  OSStatus fileLengthFrames(std::int64_t& out) override;
  OSStatus setClientDataFormat(const vellory::AudioStreamBasicDescription& format) override;
  // Reads into one interleaved buffer; fails with -50 for a client format that is not
  // interleaved PCM with whole frames. Never asks for more frames than byteCapacity holds.
  OSStatus read(std::uint32_t& ioFrames, void* data, std::uint32_t byteCapacity) override;

 private:
  OSStatus clientFormat(::AudioStreamBasicDescription& out);

  ExtAudioFileRef file_;
  bool haveClientFormat_ = false;
  ::AudioStreamBasicDescription clientFormat_{};
};

// Opens files by path through ExtAudioFileOpenURL. Any thread.
class ExtAudioFileReader : public AudioFileReader {
 public:
  OSStatus open(const std::string& path, std::unique_ptr<AudioFile>& outFile) override;
};

}  // namespace vellory::macos
