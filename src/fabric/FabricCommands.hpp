#pragma once

#include <string>

#include "shared/Clock.hpp"
#include "shared/CoreAudioAccess.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::fabric {

// The three commands of the output fabric tool. Each writes one JSON document to `out` on
// success and throws otherwise, having written nothing. All run on the calling thread only.

// Prints every usable output device. Throws the device-list read failure.
void list(CoreAudioAccess& access, OutputSink& out);

// Replaces the output fabric with one built from the JSON request and prints what it built.
// The request is checked completely, and every member and the inventory resolved, before the
// existing fabric is touched. Creation is tried four times with pauses of 250, 500 and 750 ms
// on `clock`. Throws FabricError (usage, message, or status "Create output fabric"),
// FabricRequestError, or the inventory's failure.
void ensure(const std::string& requestText, CoreAudioAccess& access, OutputSink& out, Clock& clock);

// Destroys every device bearing the fabric's UID and prints success; fails when the device list
// cannot be read or such a device cannot be destroyed.
void remove(CoreAudioAccess& access, OutputSink& out);

}  // namespace vellory::fabric
