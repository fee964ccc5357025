#pragma once

#include "shared/AudioTypes.hpp"
#include "shared/TapDescription.hpp"

// Process taps exist only for Objective-C (AudioHardwareTapping.h, CATapDescription); this is
// their plain C++ face, implemented in ProcessTaps.mm. On systems older than macOS 14.2 every
// call fails with `tapsUnavailable` instead of reaching for functions that are not there.
namespace vellory::macos {

// kAudioHardwareUnsupportedOperationError: what a system without process taps answers.
inline constexpr OSStatus tapsUnavailable = static_cast<OSStatus>(fourCharCode("unop"));

// Creates a tap over a stereo (or mono) mixdown of the described process objects. Any thread.
// Fails with the platform's status, -50 for a name that is not UTF-8 or a UID that is not a
// UUID, or `tapsUnavailable`.
OSStatus createProcessTap(const TapDescription& description, AudioObjectID& outTap);

// Destroys a tap. Any thread. Fails with the platform's status or `tapsUnavailable`.
OSStatus destroyProcessTap(AudioObjectID tap);

// Writes a new description to a tap's 'tdsc' property at the given address; the description's
// UID, when it has one, becomes the written description's UUID. Any thread. Fails with the
// platform's status, -50 for a name that is not UTF-8 or a UID that is not a UUID, or
// `tapsUnavailable`.
OSStatus setTapDescription(AudioObjectID tap, const PropertyAddress& address,
                           const TapDescription& description);

}  // namespace vellory::macos
