#include "platform/linux/SndFileReader.hpp"

#include <algorithm>

#include "platform/linux/FileReaderContract.hpp"

namespace vellory::sndfile {

namespace {

using audiofile::readFailed;
using audiofile::unsupportedFileType;
using audiofile::unsupportedFormat;

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
  const int subtype = info_.format & SF_FORMAT_SUBMASK;
  out = audiofile::pcmFormat(info_.samplerate, static_cast<std::uint32_t>(info_.channels),
                             bitsOf(info_.format),
                             subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE);
  return status::ok;
}

OSStatus SndFile::fileLengthFrames(std::int64_t& out) {
  out = info_.frames;
  return status::ok;
}

OSStatus SndFile::setClientDataFormat(const AudioStreamBasicDescription& format) {
  if (!audiofile::deliversFloatAtRate(format, info_.samplerate)) return unsupportedFormat;
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
  int fd = -1;
  if (const OSStatus opened = audiofile::openRegularFile(path, fd); opened != status::ok) {
    return opened;
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
