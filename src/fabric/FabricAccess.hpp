#pragma once

#include "shared/CoreAudioAccess.hpp"

namespace vellory::fabric {

// The fabric tool's use of the access layer: its aggregate device "Kandimer Output Fabric",
// device-list failure texts, devices whose UID cannot be read skipped, failures thrown as a
// FabricError.
AccessVariant fabricAccess();

}  // namespace vellory::fabric
