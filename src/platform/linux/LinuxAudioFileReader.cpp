#include "platform/linux/LinuxAudioFileReader.hpp"

#include "platform/linux/FileReaderContract.hpp"

namespace vellory {

OSStatus LinuxAudioFileReader::open(const std::string& path, std::unique_ptr<AudioFile>& outFile) {
  const OSStatus result = sndfile_.open(path, outFile);
  // A missing or unreadable file, or a FIFO, is the same for both readers.
  if (result != audiofile::unsupportedFileType) return result;
  std::unique_ptr<AudioFile> decoded;
  if (libav_.open(path, decoded) != status::ok) return result;
  outFile = std::move(decoded);
  return status::ok;
}

}  // namespace vellory
