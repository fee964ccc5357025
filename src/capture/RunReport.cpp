#include "capture/RunReport.hpp"

#include "shared/JsonFields.hpp"

namespace vellory::capture {

nlohmann::json encode(const SlotInfo& slot) {
  nlohmann::json processes = nlohmann::json::array();
  for (const auto& process : slot.processes) processes.push_back(encode(process));
  return nlohmann::json{{"slot", slot.slot},
                        {"bundleID", slot.bundleID},
                        {"tapObjectID", slot.tapObjectID},
                        {"processes", std::move(processes)}};
}

nlohmann::json encode(const RuntimeInfo& report) {
  nlohmann::json slots = nlohmann::json::array();
  for (const auto& slot : report.slots) slots.push_back(encode(slot));
  nlohmann::json json{{"ok", report.ok},
                      {"aggregateName", report.aggregateName},
                      {"aggregateUID", report.aggregateUID},
                      {"aggregateObjectID", report.aggregateObjectID},
                      {"slots", std::move(slots)},
                      {"channels", report.channels},
                      {"applicationChannels", report.applicationChannels},
                      {"liveInputChannels", report.liveInputChannels},
                      {"announcementChannels", report.announcementChannels},
                      {"sampleRate", report.sampleRate}};
  if (report.liveInputName) json["liveInputName"] = *report.liveInputName;
  if (report.liveInputUID) json["liveInputUID"] = *report.liveInputUID;
  return json;
}

namespace {

const nlohmann::json& array(const nlohmann::json& object, const char* key) {
  const auto& value = jsonfield::required(object, key);
  if (!value.is_array()) jsonfield::wrongType(key, "an array");
  return value;
}

}  // namespace

SlotInfo decodeSlotInfo(const nlohmann::json& json) {
  SlotInfo slot;
  slot.slot = jsonfield::int64(json, "slot");
  slot.bundleID = jsonfield::text(json, "bundleID");
  slot.tapObjectID = jsonfield::uint32(json, "tapObjectID");
  for (const auto& process : array(json, "processes")) {
    slot.processes.push_back(decodeProcessInfo(process));
  }
  return slot;
}

RuntimeInfo decodeRuntimeInfo(const nlohmann::json& json) {
  RuntimeInfo report;
  report.ok = jsonfield::boolean(json, "ok");
  report.aggregateName = jsonfield::text(json, "aggregateName");
  report.aggregateUID = jsonfield::text(json, "aggregateUID");
  report.aggregateObjectID = jsonfield::uint32(json, "aggregateObjectID");
  for (const auto& slot : array(json, "slots")) report.slots.push_back(decodeSlotInfo(slot));
  report.channels = jsonfield::uint32(json, "channels");
  report.applicationChannels = jsonfield::uint32(json, "applicationChannels");
  report.liveInputChannels = jsonfield::uint32(json, "liveInputChannels");
  report.announcementChannels = jsonfield::uint32(json, "announcementChannels");
  report.liveInputName = jsonfield::optionalText(json, "liveInputName");
  report.liveInputUID = jsonfield::optionalText(json, "liveInputUID");
  report.sampleRate = jsonfield::number(json, "sampleRate");
  return report;
}

}  // namespace vellory::capture
