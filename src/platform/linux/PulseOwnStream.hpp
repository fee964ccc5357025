#pragma once

#include <pulse/pulseaudio.h>

#include <string>

namespace vellory::pulse {

// A new stream of ours named `name`: float samples at 48000 Hz in `channelMap`, carrying our role
// and owner (and `group`, when given) like every other object of ours. Its state changes wake the
// loop. nullptr when the map is not one. Needs the loop lock held.
pa_stream* newOwnStream(pa_threaded_mainloop* loop, pa_context* context, const char* name,
                        unsigned channels, const std::string& channelMap, const char* role,
                        const std::string& group = {});

// Disconnects and releases a stream, also one whose connection is gone, and clears the pointer;
// nothing for nullptr. Needs the loop lock held.
void releaseOwnStream(pa_stream*& stream);

}  // namespace vellory::pulse
