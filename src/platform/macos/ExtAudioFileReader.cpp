#include "platform/macos/ExtAudioFileReader.hpp"

#include <algorithm>

#include "platform/macos/CFRef.hpp"
#include "platform/macos/StreamFormat.hpp"

namespace vellory::macos {

ExtAudioFile::~ExtAudioFile() {
  if (file_ != nullptr) ExtAudioFileDispose(file_);
}

OSStatus ExtAudioFile::fileDataFormat(vellory::AudioStreamBasicDescription& out) {
  ::AudioStreamBasicDescription format{};
  UInt32 size = sizeof(format);
  const OSStatus result =
      ExtAudioFileGetProperty(file_, kExtAudioFileProperty_FileDataFormat, &size, &format);
  if (result == noErr) out = fromPlatform(format);
  return result;
}

OSStatus ExtAudioFile::fileLengthFrames(std::int64_t& out) {
  SInt64 frames = 0;
  UInt32 size = sizeof(frames);
  const OSStatus result =
      ExtAudioFileGetProperty(file_, kExtAudioFileProperty_FileLengthFrames, &size, &frames);
  if (result == noErr) out = frames;
  return result;
}

OSStatus ExtAudioFile::setClientDataFormat(const vellory::AudioStreamBasicDescription& format) {
  const ::AudioStreamBasicDescription platformFormat = toPlatform(format);
  const OSStatus result = ExtAudioFileSetProperty(file_, kExtAudioFileProperty_ClientDataFormat,
                                                  sizeof(platformFormat), &platformFormat);
  if (result == noErr) {
    clientFormat_ = platformFormat;
    haveClientFormat_ = true;
  }
  return result;
}

OSStatus ExtAudioFile::clientFormat(::AudioStreamBasicDescription& out) {
  if (!haveClientFormat_) {
    // Without a client format of our own the reader delivers its default one; ask for it.
    UInt32 size = sizeof(clientFormat_);
    const OSStatus result = ExtAudioFileGetProperty(file_, kExtAudioFileProperty_ClientDataFormat,
                                                    &size, &clientFormat_);
    if (result != noErr) return result;
    haveClientFormat_ = true;
  }
  out = clientFormat_;
  return noErr;
}

OSStatus ExtAudioFile::read(std::uint32_t& ioFrames, void* data, std::uint32_t byteCapacity) {
  ::AudioStreamBasicDescription format{};
  const OSStatus known = clientFormat(format);
  if (known != noErr) return known;
  const bool interleaved = (format.mFormatFlags & kAudioFormatFlagIsNonInterleaved) == 0;
  if (format.mBytesPerFrame == 0 || (!interleaved && format.mChannelsPerFrame > 1)) {
    return kAudio_ParamError;
  }
  UInt32 frames = std::min<UInt32>(ioFrames, byteCapacity / format.mBytesPerFrame);
  // Zero frames read means the end of the file: a buffer too small for one frame must not
  // look like that.
  if (frames == 0 && ioFrames != 0) return kAudio_ParamError;
  AudioBufferList list{};
  list.mNumberBuffers = 1;
  list.mBuffers[0].mNumberChannels = format.mChannelsPerFrame;
  list.mBuffers[0].mDataByteSize = frames * format.mBytesPerFrame;
  list.mBuffers[0].mData = data;
  const OSStatus result = ExtAudioFileRead(file_, &frames, &list);
  if (result == noErr) ioFrames = frames;
  return result;
}

OSStatus ExtAudioFileReader::open(const std::string& path, std::unique_ptr<AudioFile>& outFile) {
  const CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
      kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
      static_cast<CFIndex>(path.size()), false));
  if (!url) return kAudio_ParamError;
  ExtAudioFileRef file = nullptr;
  const OSStatus result = ExtAudioFileOpenURL(url.get(), &file);
  if (result != noErr) return result;
  outFile = std::make_unique<ExtAudioFile>(file);
  return noErr;
}

}  // namespace vellory::macos
