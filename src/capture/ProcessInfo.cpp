#include "capture/ProcessInfo.hpp"

#include "shared/JsonFields.hpp"

namespace vellory::capture {

nlohmann::json encode(const ProcessInfo& process) {
  return nlohmann::json{{"objectID", process.objectID},
                        {"pid", process.pid},
                        {"bundleID", process.bundleID},
                        {"running", process.running}};
}

ProcessInfo decodeProcessInfo(const nlohmann::json& json) {
  return ProcessInfo{jsonfield::uint32(json, "objectID"), jsonfield::int32(json, "pid"),
                     jsonfield::text(json, "bundleID"), jsonfield::boolean(json, "running")};
}

}  // namespace vellory::capture
