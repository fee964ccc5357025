#include "platform/linux/SndFileReader.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace vellory::sndfile {

namespace {

constexpr OSStatus fileNotFound = -43;
constexpr OSStatus permissionDenied = -54;
constexpr OSStatus unsupportedFileType = static_cast<OSStatus>(fourCharCode("typ?"));
constexpr OSStatus unsupportedFormat = static_cast<OSStatus>(fourCharCode("fmt?"));
constexpr OSStatus readFailed = static_cast<OSStatus>(fourCharCode("rea?"));
constexpr std::uint32_t formatFlagIsNonInterleaved = 32;

}  // namespace

std::uint32_t bitsOf(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return 8;
    case SF_FORMAT_PCM_16:
      return 16;
    case SF_FORMAT_PCM_24:
      return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      return 32;
    case SF_FORMAT_DOUBLE:
      return 64;
    default:
      return 0;
  }
}

SndFile::SndFile(SNDFILE* file, const SF_INFO& info)
    : file_(file), info_(info), clientChannels_(static_cast<std::uint32_t>(info.channels)) {}

SndFile::~SndFile() {
  sf_close(file_);
}

OSStatus SndFile::fileDataFormat(AudioStreamBasicDescription& out) {
  out = AudioStreamBasicDescription{};
  out.mSampleRate = info_.samplerate;
  out.mFormatID = formatLinearPCM;
  const std::uint32_t bits = bitsOf(info_.format);
  const int subtype = info_.format & SF_FORMAT_SUBMASK;
  out.mFormatFlags = (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE)
                         ? formatFlagIsFloat | formatFlagIsPacked
                         : formatFlagIsSignedInteger | formatFlagIsPacked;
  out.mChannelsPerFrame = static_cast<std::uint32_t>(info_.channels);
  out.mBitsPerChannel = bits;
  out.mFramesPerPacket = 1;
  out.mBytesPerFrame = bits / 8 * out.mChannelsPerFrame;
  out.mBytesPerPacket = out.mBytesPerFrame;
  return status::ok;
}

OSStatus SndFile::fileLengthFrames(std::int64_t& out) {
  out = info_.frames;
  return status::ok;
}

OSStatus SndFile::setClientDataFormat(const AudioStreamBasicDescription& format) {
  const bool floatSamples =
      format.mFormatID == formatLinearPCM && (format.mFormatFlags & formatFlagIsFloat) != 0 &&
      (format.mFormatFlags & formatFlagIsNonInterleaved) == 0 && format.mBitsPerChannel == 32;
  if (!floatSamples || format.mChannelsPerFrame == 0 ||
      format.mBytesPerFrame != format.mChannelsPerFrame * sizeof(float)) {
    return unsupportedFormat;
  }
  // No resampling here: the client plays at the file's own rate.
  if (info_.samplerate > 0 && format.mSampleRate != static_cast<double>(info_.samplerate)) {
    return unsupportedFormat;
  }
  clientChannels_ = format.mChannelsPerFrame;
  return status::ok;
}

OSStatus SndFile::read(std::uint32_t& ioFrames, void* data, std::uint32_t byteCapacity) {
  const std::uint32_t requested =
      std::min<std::uint32_t>(ioFrames, byteCapacity / (clientChannels_ * 4u));
  ioFrames = 0;
  if (requested == 0) return status::ok;
  const auto fileChannels = static_cast<std::uint32_t>(info_.channels);
  auto* out = static_cast<float*>(data);
  float* target = out;
  if (fileChannels != clientChannels_) {
    fileFrames_.resize(static_cast<std::size_t>(requested) * fileChannels);
    target = fileFrames_.data();
  }
  const sf_count_t got = sf_readf_float(file_, target, requested);
  if (got < 0 || (got < requested && sf_error(file_) != SF_ERR_NO_ERROR)) return readFailed;
  const auto frames = static_cast<std::uint32_t>(got);
  if (fileChannels != clientChannels_) {
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
      const float* in = target + static_cast<std::size_t>(frame) * fileChannels;
      float* to = out + static_cast<std::size_t>(frame) * clientChannels_;
      for (std::uint32_t channel = 0; channel < clientChannels_; ++channel) {
        to[channel] = fileChannels == 1 ? in[0] : channel < fileChannels ? in[channel] : 0.0f;
      }
    }
  }
  ioFrames = frames;
  return status::ok;
}

std::string SndFile::readFailureText(OSStatus status) {
  if (sf_error(file_) == SF_ERR_NO_ERROR) return AudioFile::readFailureText(status);
  // Its sentences end in a full stop; the error line closes the text itself.
  std::string text = sf_strerror(file_);
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

OSStatus SndFileReader::open(const std::string& path, std::unique_ptr<AudioFile>& outFile) {
  // libsndfile folds every failure into one code; the file system tells the cases apart.
  // Not blocking, so that a FIFO in the file's place cannot hang the caller.
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
  SF_INFO info{};
  SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
  if (file == nullptr) return unsupportedFileType;
  if (info.channels <= 0) {
    sf_close(file);
    return unsupportedFileType;
  }
  outFile = std::make_unique<SndFile>(file, info);
  return status::ok;
}

}  // namespace vellory::sndfile
