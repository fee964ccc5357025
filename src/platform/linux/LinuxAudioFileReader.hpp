#pragma once

#include "platform/linux/LibavFileReader.hpp"
#include "platform/linux/SndFileReader.hpp"

namespace vellory {

// The Linux backend's audio files: libsndfile first (WAV, AIFF, FLAC, Ogg Vorbis and Opus, MP3,
// CAF with PCM or Apple Lossless), FFmpeg for what it does not read (AAC and Apple Lossless in
// MPEG-4, AAC in CAF or ADTS). A file neither opens fails with libsndfile's status.
class LinuxAudioFileReader : public AudioFileReader {
 public:
  OSStatus open(const std::string& path, std::unique_ptr<AudioFile>& outFile) override;

 private:
  sndfile::SndFileReader sndfile_;
  libav::LibavFileReader libav_;
};

}  // namespace vellory
