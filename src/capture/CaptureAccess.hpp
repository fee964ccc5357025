#pragma once

#include "shared/CoreAudioAccess.hpp"

namespace vellory::capture {

// The capture tool's use of the access layer: its aggregate device "Kandimer Application
// Capture", object-list failure texts, and every failure fatal, thrown as a TapError.
AccessVariant captureAccess();

}  // namespace vellory::capture
