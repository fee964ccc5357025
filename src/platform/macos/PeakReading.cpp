#include "platform/macos/PeakReading.hpp"

#include <CoreAudio/AudioHardware.h>

#include <algorithm>

namespace vellory::macos {

namespace {

class DevicePeakReader : public ChannelPeakReader {
 public:
  DevicePeakReader(AudioObjectID device, std::size_t channels)
      : device_(device), peaks_(channels) {}
  ~DevicePeakReader() override {
    if (proc_ == nullptr) return;
    AudioDeviceStop(device_, proc_);
    // Stopped from outside its IO thread, the procedure has finished its last cycle when the
    // stop returns; once it is removed the peaks may go.
    AudioDeviceDestroyIOProcID(device_, proc_);
  }
  DevicePeakReader(const DevicePeakReader&) = delete;
  DevicePeakReader& operator=(const DevicePeakReader&) = delete;

  OSStatus start() {
    OSStatus result = AudioDeviceCreateIOProcID(device_, &DevicePeakReader::cycle, this, &proc_);
    if (result != noErr) {
      proc_ = nullptr;
      return result;
    }
    result = AudioDeviceStart(device_, proc_);
    return result;  // on failure the destructor removes the procedure
  }

  PeakSnapshot takePeaks() override { return peaks_.take(); }

 private:
  // The device's IO thread: the input's buffers in order, each of interleaved 32-bit floats
  // (the HAL's own format), their channels numbered on from buffer to buffer.
  static OSStatus cycle(AudioObjectID, const AudioTimeStamp*, const AudioBufferList* input,
                        const AudioTimeStamp*, AudioBufferList*, const AudioTimeStamp*,
                        void* self) {
    if (input == nullptr) return noErr;
    ChannelPeaks& peaks = static_cast<DevicePeakReader*>(self)->peaks_;
    std::size_t channel = 0;
    std::size_t frames = 0;
    for (UInt32 i = 0; i < input->mNumberBuffers; ++i) {
      const AudioBuffer& buffer = input->mBuffers[i];
      const std::size_t width = buffer.mNumberChannels;
      if (width == 0) continue;
      const std::size_t count = buffer.mDataByteSize / (sizeof(float) * width);
      peaks.add(channel, width, static_cast<const float*>(buffer.mData), count);
      channel += width;
      frames = std::max(frames, count);
    }
    peaks.countFrames(frames);
    return noErr;
  }

  AudioObjectID device_;
  AudioDeviceIOProcID proc_ = nullptr;
  ChannelPeaks peaks_;
};

}  // namespace

OSStatus startPeakReading(AudioObjectID device, std::size_t channels,
                          std::unique_ptr<ChannelPeakReader>& out) {
  auto reader = std::make_unique<DevicePeakReader>(device, channels);
  const OSStatus result = reader->start();
  if (result != noErr) return result;
  out = std::move(reader);
  return noErr;
}

}  // namespace vellory::macos
