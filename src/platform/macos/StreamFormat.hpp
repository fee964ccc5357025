#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#include "shared/AudioTypes.hpp"

namespace vellory::macos {

// The shared record mirrors the platform's field for field; copying each field keeps that a
// checked fact instead of an assumption about layout.
template <class To, class From>
To copyStreamFormat(const From& from) {
  To to{};
  to.mSampleRate = from.mSampleRate;
  to.mFormatID = from.mFormatID;
  to.mFormatFlags = from.mFormatFlags;
  to.mBytesPerPacket = from.mBytesPerPacket;
  to.mFramesPerPacket = from.mFramesPerPacket;
  to.mBytesPerFrame = from.mBytesPerFrame;
  to.mChannelsPerFrame = from.mChannelsPerFrame;
  to.mBitsPerChannel = from.mBitsPerChannel;
  to.mReserved = from.mReserved;
  return to;
}

inline ::AudioStreamBasicDescription toPlatform(const vellory::AudioStreamBasicDescription& f) {
  return copyStreamFormat<::AudioStreamBasicDescription>(f);
}

inline vellory::AudioStreamBasicDescription fromPlatform(const ::AudioStreamBasicDescription& p) {
  return copyStreamFormat<vellory::AudioStreamBasicDescription>(p);
}

static_assert(sizeof(::AudioStreamBasicDescription) ==
              sizeof(vellory::AudioStreamBasicDescription));
static_assert(formatLinearPCM == kAudioFormatLinearPCM);
static_assert(formatFlagIsFloat == kAudioFormatFlagIsFloat);
static_assert(formatFlagIsSignedInteger == kAudioFormatFlagIsSignedInteger);
static_assert(formatFlagIsPacked == kAudioFormatFlagIsPacked);

}  // namespace vellory::macos
