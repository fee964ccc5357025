#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#include "shared/AudioTypes.hpp"

namespace vellory::macos {

// The shared record mirrors the platform's field for field; copying each field keeps that a
// checked fact instead of an assumption about layout.
inline ::AudioStreamBasicDescription toPlatform(const vellory::AudioStreamBasicDescription& f) {
  ::AudioStreamBasicDescription p{};
  p.mSampleRate = f.mSampleRate;
  p.mFormatID = f.mFormatID;
  p.mFormatFlags = f.mFormatFlags;
  p.mBytesPerPacket = f.mBytesPerPacket;
  p.mFramesPerPacket = f.mFramesPerPacket;
  p.mBytesPerFrame = f.mBytesPerFrame;
  p.mChannelsPerFrame = f.mChannelsPerFrame;
  p.mBitsPerChannel = f.mBitsPerChannel;
  p.mReserved = f.mReserved;
  return p;
}

inline vellory::AudioStreamBasicDescription fromPlatform(const ::AudioStreamBasicDescription& p) {
  vellory::AudioStreamBasicDescription f;
  f.mSampleRate = p.mSampleRate;
  f.mFormatID = p.mFormatID;
  f.mFormatFlags = p.mFormatFlags;
  f.mBytesPerPacket = p.mBytesPerPacket;
  f.mFramesPerPacket = p.mFramesPerPacket;
  f.mBytesPerFrame = p.mBytesPerFrame;
  f.mChannelsPerFrame = p.mChannelsPerFrame;
  f.mBitsPerChannel = p.mBitsPerChannel;
  f.mReserved = p.mReserved;
  return f;
}

static_assert(sizeof(::AudioStreamBasicDescription) ==
              sizeof(vellory::AudioStreamBasicDescription));
static_assert(formatLinearPCM == kAudioFormatLinearPCM);
static_assert(formatFlagIsFloat == kAudioFormatFlagIsFloat);
static_assert(formatFlagIsSignedInteger == kAudioFormatFlagIsSignedInteger);
static_assert(formatFlagIsPacked == kAudioFormatFlagIsPacked);

}  // namespace vellory::macos
