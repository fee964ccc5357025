#include "platform/linux/CaptureBuild.hpp"

namespace vellory::pulse {

BuildOutcome buildCapture(const std::vector<PlannedModule>& plan, CaptureServer& server,
                          BuiltCapture& built) {
  for (const PlannedModule& part : plan) {
    const auto index = server.load(part);
    if (!index) {
      removeCapture(server, built);
      return BuildOutcome::loadFailed;
    }
    built.modules.push_back(*index);
    if (!part.tapUID.empty()) {
      server.attach(part.tapUID, part.sinkName);
      built.attachedSinks.push_back(part.sinkName);
    }
  }
  if (!server.linked(built.modules)) {
    removeCapture(server, built);
    return BuildOutcome::notLinked;
  }
  return BuildOutcome::built;
}

void removeCapture(CaptureServer& server, BuiltCapture& built) {
  for (const auto& sink : built.attachedSinks) server.detach(sink);
  for (auto it = built.modules.rbegin(); it != built.modules.rend(); ++it) server.unload(*it);
  built = BuiltCapture{};
}

}  // namespace vellory::pulse
