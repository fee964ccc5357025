#pragma once

#include <memory>
#include <string>

#include "e2e/support/Recorder.hpp"

namespace vellory::e2e {

// Records a sink's monitor (2 channels) and returns once data is arriving, so that no sound
// played afterwards is missed and an idle sink's late start is over.
std::unique_ptr<Recorder> recordMonitor(const std::string& sink, const std::string& path);

}  // namespace vellory::e2e
