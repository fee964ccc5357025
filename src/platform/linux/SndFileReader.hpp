#pragma once

#include <sndfile.h>

#include <memory>
#include <string>
#include <vector>

#include "shared/AudioFileReader.hpp"

namespace vellory::sndfile {

// An audio file read through libsndfile (WAV, AIFF, FLAC, Ogg Vorbis and Opus, and whatever
// else the library reads). Delivers interleaved 32-bit float at the file's own rate: a mono
// file on every client channel, a wider file's first channels in order.
class SndFile : public AudioFile {
 public:
  explicit SndFile(SNDFILE* file, const SF_INFO& info);
  ~SndFile() override;
  SndFile(const SndFile&) = delete;
  SndFile& operator=(const SndFile&) = delete;

  OSStatus fileDataFormat(AudioStreamBasicDescription& out) override;
  OSStatus fileLengthFrames(std::int64_t& out) override;
  // Fails with 'fmt?' unless the format is packed interleaved 32-bit float at the file's rate.
  OSStatus setClientDataFormat(const AudioStreamBasicDescription& format) override;
  OSStatus read(std::uint32_t& ioFrames, void* data, std::uint32_t byteCapacity) override;
  // libsndfile's message, such as "System error : Input/output error.".
  std::string readFailureText(OSStatus status) override;

 private:
  SNDFILE* file_;
  SF_INFO info_;
  std::uint32_t clientChannels_;
  std::vector<float> fileFrames_;
};

// Opens files with libsndfile. A missing file fails with -43, one that may not be read with
// -54, one in a format the library does not know with 'typ?'.
class SndFileReader : public AudioFileReader {
 public:
  OSStatus open(const std::string& path, std::unique_ptr<AudioFile>& outFile) override;
};

// Bits per sample of a libsndfile subtype, 0 when it has no fixed width (compressed).
std::uint32_t bitsOf(int format);

}  // namespace vellory::sndfile
