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
  // The bundle identifier of the process the system holds responsible for this one (the
  // application whose helper it is), when that is another process; empty otherwise. A slot
  // takes the process by it too. Not part of the JSON documents (and initialised, so that a
  // record written out with the four documented fields is complete).
  std::string responsibleBundleID{};

  bool operator==(const ProcessInfo&) const = default;
};

nlohmann::json encode(const ProcessInfo& process);
ProcessInfo decodeProcessInfo(const nlohmann::json& json);

}  // namespace vellory::capture
