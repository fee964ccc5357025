#pragma once

#include <memory>

#include "shared/AudioTypes.hpp"
#include "shared/ChannelPeaks.hpp"

namespace vellory::macos {

// Starts an IO procedure on `device` that keeps only the peak of each of its first `channels`
// input channels (shared/ChannelPeaks); destroying the reader stops and removes the procedure.
// Any thread. Fails with the platform's status, leaving nothing behind.
OSStatus startPeakReading(AudioObjectID device, std::size_t channels,
                          std::unique_ptr<ChannelPeakReader>& out);

}  // namespace vellory::macos
