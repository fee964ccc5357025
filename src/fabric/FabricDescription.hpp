#pragma once

#include <string>
#include <vector>

#include "shared/CoreAudioAccess.hpp"
#include "shared/DescriptionDictionary.hpp"

namespace vellory::fabric {

// The aggregate description of the output fabric: the tool's name and UID, published (not
// private, so that it outlives the tool and the host can use it), not stacked, one sub-device
// per UID in order, each but the clock master's with drift compensation, and the clock
// master's UID. Nothing else is set.
DescriptionDictionary fabricDescription(const AccessVariant& identity,
                                        const std::vector<std::string>& subDeviceUIDs,
                                        const std::string& masterUID);

}  // namespace vellory::fabric
