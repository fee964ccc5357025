#include "platform/linux/LibavFileReader.hpp"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "platform/linux/DecodedSamples.hpp"
#include "platform/linux/FileReaderContract.hpp"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace vellory::libav {

namespace {

using audiofile::readFailed;
using audiofile::unsupportedFileType;
using audiofile::unsupportedFormat;

constexpr int ioBufferBytes = 32 * 1024;
// The demuxers of the audio containers that a Mac's audio files open too.
constexpr const char* audioDemuxers = "mov,mp3,aac,caf,aiff,wav,w64,flac,ogg";

int readBytes(void* opaque, std::uint8_t* buffer, int size) {
  const int fd = *static_cast<int*>(opaque);
  ssize_t got = 0;
  do {
    got = ::read(fd, buffer, static_cast<std::size_t>(size));
  } while (got < 0 && errno == EINTR);
  if (got < 0) return AVERROR(errno);
  return got == 0 ? AVERROR_EOF : static_cast<int>(got);
}

std::int64_t seekBytes(void* opaque, std::int64_t offset, int whence) {
  const int fd = *static_cast<int*>(opaque);
  if ((whence & AVSEEK_SIZE) != 0) {
    struct stat fileStatus {};
    return ::fstat(fd, &fileStatus) == 0 ? fileStatus.st_size : AVERROR(errno);
  }
  const off_t at = ::lseek(fd, offset, whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : at;
}

// A demuxer may ask to open further files or URLs (an external data reference, a playlist's
// segments); an announcement is the one file it names.
int refuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
  return AVERROR(EPERM);
}

}  // namespace

LibavFile::~LibavFile() {
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  avcodec_free_context(&decoder_);
  avformat_close_input(&format_);
  if (io_ != nullptr) av_freep(&io_->buffer);
  avio_context_free(&io_);
  if (fd_ >= 0) ::close(fd_);
}

OSStatus LibavFile::open(int fd, const std::string& path) {
  fd_ = fd;
  auto* buffer = static_cast<std::uint8_t*>(av_malloc(ioBufferBytes));
  if (buffer == nullptr) return status::unspecified;
  io_ = avio_alloc_context(buffer, ioBufferBytes, 0, &fd_, readBytes, nullptr, seekBytes);
  if (io_ == nullptr) {
    av_free(buffer);
    return status::unspecified;
  }
  format_ = avformat_alloc_context();
  if (format_ == nullptr) return status::unspecified;
  format_->pb = io_;
  format_->flags |= AVFMT_FLAG_CUSTOM_IO;
  format_->io_open = refuseOpen;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", audioDemuxers, 0);
  // The path only helps to recognise the container by its extension; the bytes come from `fd`.
  const int opened = avformat_open_input(&format_, path.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0 || avformat_find_stream_info(format_, nullptr) < 0) return unsupportedFileType;
  return openDecoder();
}

OSStatus LibavFile::openDecoder() {
  const AVCodec* codec = nullptr;
  stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream_ < 0 || codec == nullptr) return unsupportedFileType;
  const AVStream& stream = *format_->streams[stream_];
  decoder_ = avcodec_alloc_context3(codec);
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (decoder_ == nullptr || packet_ == nullptr || frame_ == nullptr ||
      avcodec_parameters_to_context(decoder_, stream.codecpar) < 0 ||
      avcodec_open2(decoder_, codec, nullptr) < 0 || decoder_->sample_rate <= 0 ||
      decoder_->ch_layout.nb_channels <= 0) {
    return unsupportedFileType;
  }
  rate_ = decoder_->sample_rate;
  if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
    lengthFrames_ = av_rescale_q(stream.duration, stream.time_base, AVRational{1, rate_});
    // MPEG-4 states the exact length; AAC's last frame is padded past it.
    endsAtLength_ = std::string_view(format_->iformat->name).substr(0, 3) == "mov";
  } else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
    lengthFrames_ = av_rescale(format_->duration, rate_, AV_TIME_BASE);
  }
  clientChannels_ = static_cast<std::uint32_t>(decoder_->ch_layout.nb_channels);
  return status::ok;
}

OSStatus LibavFile::fileDataFormat(AudioStreamBasicDescription& out) {
  const AVSampleFormat packed = av_get_packed_sample_fmt(decoder_->sample_fmt);
  out = audiofile::pcmFormat(rate_, static_cast<std::uint32_t>(decoder_->ch_layout.nb_channels),
                             static_cast<std::uint32_t>(av_get_bytes_per_sample(packed) * 8),
                             packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL);
  return status::ok;
}

OSStatus LibavFile::fileLengthFrames(std::int64_t& out) {
  out = lengthFrames_;
  return status::ok;
}

OSStatus LibavFile::setClientDataFormat(const AudioStreamBasicDescription& format) {
  if (!audiofile::deliversFloatAtRate(format, rate_)) return unsupportedFormat;
  clientChannels_ = format.mChannelsPerFrame;
  return status::ok;
}

OSStatus LibavFile::read(std::uint32_t& ioFrames, void* data, std::uint32_t byteCapacity) {
  const std::uint32_t wanted =
      std::min<std::uint32_t>(ioFrames, byteCapacity / (clientChannels_ * 4u));
  ioFrames = 0;
  auto* out = static_cast<float*>(data);
  while (ioFrames < wanted && !ended_) {
    if (frameOffset_ >= frame_->nb_samples) {
      bool got = false;
      if (const OSStatus result = decodeFrame(got); result != status::ok) return result;
      ended_ = !got;
      continue;
    }
    std::int64_t take =
        std::min<std::int64_t>(wanted - ioFrames, frame_->nb_samples - frameOffset_);
    if (endsAtLength_) take = std::min(take, lengthFrames_ - delivered_);
    if (take <= 0) {
      ended_ = true;
      break;
    }
    copyDecodedFrames(*frame_, frameOffset_, static_cast<int>(take),
                      out + static_cast<std::size_t>(ioFrames) * clientChannels_, clientChannels_);
    frameOffset_ += static_cast<int>(take);
    ioFrames += static_cast<std::uint32_t>(take);
    delivered_ += take;
  }
  return status::ok;
}

OSStatus LibavFile::decodeFrame(bool& got) {
  got = false;
  for (;;) {
    int result = avcodec_receive_frame(decoder_, frame_);
    if (result == 0) {
      frameOffset_ = 0;
      got = true;
      return status::ok;
    }
    if (result == AVERROR_EOF) return status::ok;
    if (result != AVERROR(EAGAIN)) return failed(result);
    result = av_read_frame(format_, packet_);
    if (result == AVERROR_EOF) {
      // The demuxer may report a failed read as the end; the byte reader knows better.
      if (format_->pb->error < 0) return failed(format_->pb->error);
      result = avcodec_send_packet(decoder_, nullptr);  // drains the decoder
      if (result < 0 && result != AVERROR_EOF) return failed(result);
      continue;
    }
    if (result < 0) return failed(result);
    if (packet_->stream_index == stream_) result = avcodec_send_packet(decoder_, packet_);
    av_packet_unref(packet_);
    if (result < 0) return failed(result);
  }
}

OSStatus LibavFile::failed(int error) {
  lastError_ = error;
  return readFailed;
}

std::string LibavFile::readFailureText(OSStatus status) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (lastError_ == 0 || av_strerror(lastError_, text, sizeof text) < 0) {
    return AudioFile::readFailureText(status);
  }
  return text;
}

LibavFileReader::LibavFileReader() {
  av_log_set_level(AV_LOG_QUIET);
}

OSStatus LibavFileReader::open(const std::string& path, std::unique_ptr<AudioFile>& outFile) {
  int fd = -1;
  if (const OSStatus opened = audiofile::openRegularFile(path, fd); opened != status::ok) {
    return opened;
  }
  auto file = std::make_unique<LibavFile>();
  if (const OSStatus result = file->open(fd, path); result != status::ok) return result;
  outFile = std::move(file);
  return status::ok;
}

}  // namespace vellory::libav
