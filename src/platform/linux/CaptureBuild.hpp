#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/CapturePlan.hpp"

namespace vellory::pulse {

// What carrying out a capture plan needs from the server.
class CaptureServer {
 public:
  virtual ~CaptureServer() = default;
  virtual std::optional<std::uint32_t> load(const PlannedModule& module) = 0;
  virtual void unload(std::uint32_t module) = 0;
  // Moves a tap's streams into `sink`, or back into the tap.
  virtual void attach(const std::string& tapUID, const std::string& sink) = 0;
  virtual void detach(const std::string& sink) = 0;
  // Waits until the inner streams of these modules are connected; false when they never are.
  virtual bool linked(const std::vector<std::uint32_t>& modules) = 0;
  // Holds a sink at a latency, and ends that hold; false when it could not be held.
  virtual bool hold(const MixerHold& wanted) = 0;
  virtual void release() = 0;
  // Carries the live input into its sink through streams of ours, and ends that; false when the
  // feed could not be started.
  virtual bool feed(const LiveFeed& wanted) = 0;
  virtual void unfeed() = 0;
};

// What a carried-out plan built, to be removed in reverse.
struct BuiltCapture {
  std::vector<std::uint32_t> modules;  // in load order
  // One per module: the sink a tap's streams were moved into, when the module made one.
  std::vector<std::string> attachedSinks;
  bool held = false;  // a module's sink is held at a latency
  bool fed = false;   // the live input is fed by streams of ours
};

enum class BuildOutcome { built, loadFailed, notLinked };

// Loads the plan's modules in order, holding a module's sink at its latency and moving each tap's
// streams into its sink as soon as that exists, then waits for the links. A hold that cannot be
// made is no failure: the device works, only a recorder that joins it may wait for audio. Whatever
// a failed build made is removed again before it returns, so `built` is then empty.
BuildOutcome buildCapture(const std::vector<PlannedModule>& plan, CaptureServer& server,
                          BuiltCapture& built);

// Ends the hold and the live input's feed, then unloads the modules in reverse order, the live
// input's loopback first and
// the mixer last, moving a tap's streams back right before the sink they were moved into goes.
void removeCapture(CaptureServer& server, BuiltCapture& built);

}  // namespace vellory::pulse
