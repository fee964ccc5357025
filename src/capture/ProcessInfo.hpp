#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "shared/AudioTypes.hpp"

namespace vellory::capture {

// One audio process object as the hardware layer lists it.
struct ProcessInfo {
  AudioObjectID objectID = 0;
  std::int32_t pid = 0;
  std::string bundleID;
  bool running = false;

  bool operator==(const ProcessInfo&) const = default;
};

nlohmann::json encode(const ProcessInfo& process);
ProcessInfo decodeProcessInfo(const nlohmann::json& json);

}  // namespace vellory::capture
