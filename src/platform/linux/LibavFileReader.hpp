#pragma once

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "shared/AudioFileReader.hpp"

namespace vellory::libav {

// An audio file read through FFmpeg's demuxers and decoders: the first audio stream, decoded
// and delivered as interleaved 32-bit float at the file's own rate, its channels mapped as
// `copyDecodedFrames` does. Reads only the one file, through its own descriptor: nothing in a
// file can make it open another file or a connection.
class LibavFile : public AudioFile {
 public:
  LibavFile() = default;
  ~LibavFile() override;
  LibavFile(const LibavFile&) = delete;
  LibavFile& operator=(const LibavFile&) = delete;

  // Takes over `fd` and opens its audio; gives 'typ?' when FFmpeg finds none it can decode.
  OSStatus open(int fd, const std::string& path);

  OSStatus fileDataFormat(AudioStreamBasicDescription& out) override;
  // The stream's duration as the container states it: exact for MP4 (its edit list), an
  // estimate where the container has only one.
  OSStatus fileLengthFrames(std::int64_t& out) override;
  // Fails with 'fmt?' unless the format is packed interleaved 32-bit float at the file's rate.
  OSStatus setClientDataFormat(const AudioStreamBasicDescription& format) override;
  // Fails with 'rea?' when the file cannot be read or decoded further.
  OSStatus read(std::uint32_t& ioFrames, void* data, std::uint32_t byteCapacity) override;
  // FFmpeg's words for the failure, such as "Invalid data found when processing input".
  std::string readFailureText(OSStatus status) override;

 private:
  OSStatus openDecoder();
  // Makes `frame_` hold the next decoded frame; `got` is false at the end of the stream.
  OSStatus decodeFrame(bool& got);
  OSStatus failed(int error);

  int fd_ = -1;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int stream_ = -1;
  int rate_ = 0;
  std::int64_t lengthFrames_ = 0;
  bool endsAtLength_ = false;  // the decoder's frames past the length are codec padding
  std::int64_t delivered_ = 0;
  int frameOffset_ = 0;  // frames of `frame_` delivered already
  bool ended_ = false;
  std::uint32_t clientChannels_ = 2;
  int lastError_ = 0;
};

// Opens files with FFmpeg's demuxers for the audio containers a Mac reads: MPEG-4 (.m4a, .mp4,
// AAC and Apple Lossless), CAF, MP3, ADTS AAC, AIFF, WAV, FLAC and Ogg. A missing file fails
// with -43, one that may not be read with -54, anything else it cannot play with 'typ?'.
class LibavFileReader : public AudioFileReader {
 public:
  // Keeps FFmpeg's own log off the program's standard error.
  LibavFileReader();
  OSStatus open(const std::string& path, std::unique_ptr<AudioFile>& outFile) override;
};

}  // namespace vellory::libav
