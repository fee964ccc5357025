#include "platform/macos/ProcessTaps.hpp"

#import <CoreAudio/AudioHardware.h>
#import <CoreAudio/AudioHardwareTapping.h>
#import <CoreAudio/CATapDescription.h>
#import <Foundation/Foundation.h>

#if !__has_feature(objc_arc)
#error "ProcessTaps.mm is built with ARC (-fobjc-arc)"
#endif

namespace vellory::macos {

namespace {

CATapMuteBehavior muteBehaviorOf(TapMuteBehavior behavior) API_AVAILABLE(macos(14.2)) {
  switch (behavior) {
    case TapMuteBehavior::muted:
      return CATapMuted;
    case TapMuteBehavior::mutedWhenTapped:
      return CATapMutedWhenTapped;
    case TapMuteBehavior::unmuted:
      break;
  }
  return CATapUnmuted;
}

NSString* stringOf(const std::string& text) {
  return [[NSString alloc] initWithBytes:text.data()
                                  length:text.size()
                                encoding:NSUTF8StringEncoding];
}

// A new CATapDescription with every field of `description`, or nil when the name is not UTF-8
// or the UID is not a UUID. Without a UID the description keeps the fresh one it was made with.
CATapDescription* makeTapDescription(const TapDescription& description) API_AVAILABLE(macos(14.2)) {
  NSString* name = stringOf(description.name);
  if (name == nil) return nil;
  NSUUID* identity = nil;
  if (description.uid) {
    NSString* uid = stringOf(*description.uid);
    identity = uid == nil ? nil : [[NSUUID alloc] initWithUUIDString:uid];
    if (identity == nil) return nil;
  }
  NSMutableArray<NSNumber*>* processes =
      [NSMutableArray arrayWithCapacity:description.processes.size()];
  for (const AudioObjectID process : description.processes) {
    [processes addObject:[NSNumber numberWithUnsignedInt:process]];
  }
  CATapDescription* tap = description.mono
                              ? [[CATapDescription alloc] initMonoMixdownOfProcesses:processes]
                              : [[CATapDescription alloc] initStereoMixdownOfProcesses:processes];
  tap.name = name;
  tap.privateTap = description.isPrivate ? YES : NO;
  tap.exclusive = description.exclusive ? YES : NO;
  tap.mixdown = description.mixdown ? YES : NO;
  tap.mono = description.mono ? YES : NO;
  tap.muteBehavior = muteBehaviorOf(description.muteBehavior);
  if (identity != nil) tap.UUID = identity;
  return tap;
}

}  // namespace

OSStatus createProcessTap(const TapDescription& description, AudioObjectID& outTap) {
  if (@available(macOS 14.2, *)) {
    @autoreleasepool {
      CATapDescription* tap = makeTapDescription(description);
      if (tap == nil) return status::paramError;
      AudioObjectID created = kAudioObjectUnknown;
      const OSStatus result = AudioHardwareCreateProcessTap(tap, &created);
      if (result == noErr) outTap = created;
      return result;
    }
  }
  return tapsUnavailable;
}

OSStatus destroyProcessTap(AudioObjectID tap) {
  if (@available(macOS 14.2, *)) {
    return AudioHardwareDestroyProcessTap(tap);
  }
  return tapsUnavailable;
}

OSStatus setTapDescription(AudioObjectID tap, const PropertyAddress& address,
                           const TapDescription& description) {
  if (@available(macOS 14.2, *)) {
    @autoreleasepool {
      // The property's data is one object reference; the tap copies what it needs during the
      // call. Its last use is the bridging cast, so without the precise lifetime ARC could
      // release it before the call.
      NS_VALID_UNTIL_END_OF_SCOPE CATapDescription* replacement = makeTapDescription(description);
      if (replacement == nil) return status::paramError;
      CFTypeRef reference = (__bridge CFTypeRef)replacement;
      const AudioObjectPropertyAddress platformAddress{address.selector, address.scope,
                                                       address.element};
      return AudioObjectSetPropertyData(tap, &platformAddress, 0, nullptr, sizeof(reference),
                                        &reference);
    }
  }
  return tapsUnavailable;
}

}  // namespace vellory::macos
