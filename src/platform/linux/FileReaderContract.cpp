#include "platform/linux/FileReaderContract.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellory::audiofile {

OSStatus openRegularFile(const std::string& path, int& outFd) {
  // Not blocking while it is looked at, so that a FIFO cannot hang the open itself.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return fileNotFound;
    if (errno == EACCES || errno == EPERM) return permissionDenied;
    return status::unspecified;
  }
  struct stat fileStatus {};
  if (::fstat(fd, &fileStatus) != 0 || !S_ISREG(fileStatus.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return unsupportedFileType;
  }
  outFd = fd;
  return status::ok;
}

AudioStreamBasicDescription pcmFormat(double rate, std::uint32_t channels, std::uint32_t bits,
                                      bool floatSamples) {
  AudioStreamBasicDescription format{};
  format.mSampleRate = rate;
  format.mFormatID = formatLinearPCM;
  format.mFormatFlags =
      (floatSamples ? formatFlagIsFloat : formatFlagIsSignedInteger) | formatFlagIsPacked;
  format.mChannelsPerFrame = channels;
  format.mBitsPerChannel = bits;
  format.mFramesPerPacket = 1;
  format.mBytesPerFrame = bits / 8 * channels;
  format.mBytesPerPacket = format.mBytesPerFrame;
  return format;
}

bool deliversFloatAtRate(const AudioStreamBasicDescription& format, int fileRate) {
  constexpr std::uint32_t formatFlagIsNonInterleaved = 32;
  const bool floatSamples =
      format.mFormatID == formatLinearPCM && (format.mFormatFlags & formatFlagIsFloat) != 0 &&
      (format.mFormatFlags & formatFlagIsNonInterleaved) == 0 && format.mBitsPerChannel == 32;
  return floatSamples && format.mChannelsPerFrame != 0 &&
         format.mBytesPerFrame == format.mChannelsPerFrame * sizeof(float) &&
         (fileRate <= 0 || format.mSampleRate == static_cast<double>(fileRate));
}

}  // namespace vellory::audiofile
