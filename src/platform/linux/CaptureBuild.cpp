#include "platform/linux/CaptureBuild.hpp"

namespace vellory::pulse {

BuildOutcome buildCapture(const std::vector<PlannedModule>& plan, CaptureServer& server,
                          BuiltCapture& built) {
  for (const PlannedModule& part : plan) {
    if (part.feed) {
      built.fed = server.feed(*part.feed);
      if (!built.fed) {
        removeCapture(server, built);
        return BuildOutcome::loadFailed;
      }
      continue;
    }
    const auto index = server.load(part);
    if (!index) {
      removeCapture(server, built);
      return BuildOutcome::loadFailed;
    }
    built.modules.push_back(*index);
    built.attachedSinks.emplace_back();
    if (part.hold && !built.held) built.held = server.hold(*part.hold);
    if (!part.tapUID.empty()) {
      server.attach(part.tapUID, part.sinkName);
      built.attachedSinks.back() = part.sinkName;
    }
  }
  if (!server.linked(built.modules)) {
    removeCapture(server, built);
    return BuildOutcome::notLinked;
  }
  return BuildOutcome::built;
}

void removeCapture(CaptureServer& server, BuiltCapture& built) {
  if (built.fed) server.unfeed();
  if (built.held) server.release();
  for (std::size_t k = built.modules.size(); k-- > 0;) {
    if (!built.attachedSinks[k].empty()) server.detach(built.attachedSinks[k]);
    server.unload(built.modules[k]);
  }
  built = BuiltCapture{};
}

}  // namespace vellory::pulse
