#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "capture/ProcessInfo.hpp"

namespace vellory::capture {

// One capture slot of the run report.
struct SlotInfo {
  std::int64_t slot = 0;
  std::string bundleID;
  AudioObjectID tapObjectID = 0;
  std::vector<ProcessInfo> processes;

  bool operator==(const SlotInfo&) const = default;
};

// The run report: the capture device and how its channels are laid out.
struct RuntimeInfo {
  bool ok = true;
  std::string aggregateName;
  std::string aggregateUID;
  AudioObjectID aggregateObjectID = 0;
  std::vector<SlotInfo> slots;
  std::uint32_t channels = 0;
  std::uint32_t applicationChannels = 0;
  std::uint32_t liveInputChannels = 0;
  std::uint32_t announcementChannels = 0;
  std::optional<std::string> liveInputName;
  std::optional<std::string> liveInputUID;
  double sampleRate = 48000.0;

  bool operator==(const RuntimeInfo&) const = default;
};

nlohmann::json encode(const SlotInfo& slot);
nlohmann::json encode(const RuntimeInfo& report);

// Decoding needs every key but the two live input ones, ignores unknown keys and throws
// std::invalid_argument on a missing key or a value of the wrong type.
SlotInfo decodeSlotInfo(const nlohmann::json& json);
RuntimeInfo decodeRuntimeInfo(const nlohmann::json& json);

}  // namespace vellory::capture
