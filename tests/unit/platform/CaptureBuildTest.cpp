#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "platform/linux/CaptureBuild.hpp"

namespace vellory::pulse {
namespace {

// A server that fails the load numbered `failLoad` (from 0), or the link wait, and keeps what
// exists on it.
class ScriptedServer : public CaptureServer {
 public:
  std::optional<std::uint32_t> load(const PlannedModule& part) override {
    if (loads++ == failLoad) return std::nullopt;
    events.push_back("load " + part.module);
    loaded.insert(next);
    kinds[next] = part.module;
    sinks[next] = part.sinkName;
    return next++;
  }
  void unload(std::uint32_t module) override {
    EXPECT_EQ(attached.count(sinks[module]), 0u)
        << "a sink was unloaded with a tap's streams still in it";
    if (kinds[module] == "module-loopback") attachedAtLoopbackRemoval = attached.size();
    loaded.erase(module);
    unloads.push_back(module);
    events.push_back("unload " + kinds[module]);
  }
  void attach(const std::string&, const std::string& sink) override {
    attached.insert(sink);
    events.push_back("attach");
  }
  void detach(const std::string& sink) override { attached.erase(sink); }
  bool linked(const std::vector<std::uint32_t>&) override { return links; }
  bool hold(const MixerHold& wanted) override {
    events.push_back("hold " + wanted.source);
    held = holds;
    return holds;
  }
  void release() override {
    EXPECT_TRUE(held) << "released a hold that was never made";
    events.push_back("release");
    held = false;
  }
  bool feed(const LiveFeed& wanted) override {
    events.push_back("feed " + wanted.source);
    fed = feeds;
    return feeds;
  }
  void unfeed() override {
    EXPECT_TRUE(fed) << "ended a feed that was never started";
    events.push_back("unfeed");
    fed = false;
  }

  int failLoad = -1;
  bool links = true;
  bool holds = true;
  bool held = false;
  bool feeds = true;
  bool fed = false;
  std::vector<std::string> events;
  int loads = 0;
  std::uint32_t next = 500;
  std::set<std::uint32_t> loaded;
  std::set<std::string> attached;
  std::vector<std::uint32_t> unloads;
  std::map<std::uint32_t, std::string> kinds;
  std::map<std::uint32_t, std::string> sinks;
  std::size_t attachedAtLoopbackRemoval = 0;
};

std::vector<PlannedModule> plan(unsigned mixerLatencyMs = 0,
                                LiveRoute route = LiveRoute::loopback) {
  CaptureLayout layout{"com.vellory.application-capture",
                       "Capture",
                       "vellory.capture.9",
                       CaptureInput{"mic", 1, "mono"},
                       {{"t0", 1}, {"t1", 2}, {"t2", 2}},
                       20,
                       mixerLatencyMs};
  layout.liveRoute = route;
  return planCaptureDevice(layout);
}

TEST(CaptureBuildTest, AFailureAtAnyStepLeavesNothingOnTheServer) {
  const auto modules = plan();
  for (int step = 0; step < static_cast<int>(modules.size()); ++step) {
    ScriptedServer server;
    server.failLoad = step;
    BuiltCapture built;
    EXPECT_EQ(buildCapture(modules, server, built), BuildOutcome::loadFailed) << step;
    EXPECT_TRUE(server.loaded.empty()) << "step " << step;
    EXPECT_TRUE(server.attached.empty()) << "step " << step;
    EXPECT_TRUE(built.modules.empty());
  }
  ScriptedServer unlinked;
  unlinked.links = false;
  BuiltCapture built;
  EXPECT_EQ(buildCapture(modules, unlinked, built), BuildOutcome::notLinked);
  EXPECT_TRUE(unlinked.loaded.empty());
  EXPECT_TRUE(unlinked.attached.empty());
}

TEST(CaptureBuildTest, TheMixerIsHeldBeforeAnythingPlaysIntoItAndReleasedBeforeItGoes) {
  ScriptedServer server;
  BuiltCapture built;
  ASSERT_EQ(buildCapture(plan(40), server, built), BuildOutcome::built);
  ASSERT_GE(server.events.size(), 3u);
  EXPECT_EQ(server.events[0], "load module-null-sink");
  EXPECT_EQ(server.events[1], "hold vellory.capture.9.mix.monitor");
  EXPECT_EQ(
      std::count(server.events.begin(), server.events.end(), "hold vellory.capture.9.mix.monitor"),
      1);
  removeCapture(server, built);
  EXPECT_FALSE(server.held);
  EXPECT_EQ(server.events.back(), "unload module-null-sink");

  for (const bool holds : {true, false}) {
    ScriptedServer failing;  // a failed build ends its hold too; a refused hold is no failure
    failing.holds = holds;
    failing.failLoad = 3;
    BuiltCapture partial;
    EXPECT_EQ(buildCapture(plan(40), failing, partial), BuildOutcome::loadFailed);
    EXPECT_FALSE(failing.held);
    EXPECT_TRUE(failing.loaded.empty());
    ScriptedServer refused;
    refused.holds = holds;
    BuiltCapture whole;
    EXPECT_EQ(buildCapture(plan(40), refused, whole), BuildOutcome::built);
    EXPECT_EQ(whole.held, holds);
  }
}

TEST(CaptureBuildTest, RemovalUndoesABuildInReverseOrder) {
  ScriptedServer server;
  BuiltCapture built;
  ASSERT_EQ(buildCapture(plan(), server, built), BuildOutcome::built);
  EXPECT_EQ(server.attached,
            (std::set<std::string>{"vellory.capture.9.tap1", "vellory.capture.9.tap2"}));
  EXPECT_EQ(built.modules.size(), 6u);
  removeCapture(server, built);
  EXPECT_EQ(server.unloads, (std::vector<std::uint32_t>{505, 504, 503, 502, 501, 500}));
  // The live input leaves before anything else of the device changes.
  EXPECT_EQ(server.kinds[505], "module-loopback");
  EXPECT_EQ(server.attachedAtLoopbackRemoval, 2u);
  EXPECT_TRUE(server.loaded.empty());
  removeCapture(server, built);  // a second removal finds nothing
  EXPECT_EQ(server.unloads.size(), 6u);
}

// Streams of ours carry the live input into its sink once everything else stands, stop before
// anything is unloaded, and a feed that cannot start leaves nothing behind.
TEST(CaptureBuildTest, AFedLiveInputJoinsLastAndLeavesFirst) {
  ScriptedServer server;
  BuiltCapture built;
  ASSERT_EQ(buildCapture(plan(0, LiveRoute::streams), server, built), BuildOutcome::built);
  EXPECT_EQ(server.events.back(), "feed mic");
  EXPECT_EQ(built.modules.size(), 5u);
  EXPECT_EQ(std::count(server.events.begin(), server.events.end(), "load module-loopback"), 0);
  removeCapture(server, built);
  EXPECT_EQ(server.events[server.events.size() - 6], "unfeed");
  EXPECT_TRUE(server.loaded.empty());

  ScriptedServer refusing;
  refusing.feeds = false;
  BuiltCapture partial;
  EXPECT_EQ(buildCapture(plan(0, LiveRoute::streams), refusing, partial), BuildOutcome::loadFailed);
  EXPECT_TRUE(refusing.loaded.empty());
  EXPECT_TRUE(refusing.attached.empty());
  EXPECT_EQ(std::count(refusing.events.begin(), refusing.events.end(), "unfeed"), 0);
}

}  // namespace
}  // namespace vellory::pulse
