#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fabric/FabricAccess.hpp"
#include "fabric/OutputFabricTool.hpp"
#include "fakes/FakeClock.hpp"
#include "fakes/FakeHardware.hpp"

namespace vellory::fabric {

struct FabricRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the whole tool in-process over a fake object model and a fake clock.
class FabricToolTest : public ::testing::Test {
 protected:
  static constexpr AudioObjectID speakers = 10;
  static constexpr AudioObjectID surround = 11;
  static constexpr AudioObjectID microphone = 12;
  static constexpr AudioObjectID hdmi = 13;
  static constexpr AudioObjectID oldFabric = 50;

  testing::FakeHardware hardware;
  testing::FakeClock clock;

  FabricRun run(const std::vector<std::string>& args) {
    CoreAudioAccess access(hardware, fabricAccess());
    StringSink out;
    StringSink err;
    FabricRun result;
    result.status = runOutputFabricTool(args, access, {out, err}, clock);
    result.out = out.text();
    result.err = err.text();
    return result;
  }

  void addDevices() {
    hardware.addDevice(speakers, "speakers", "Speakers", {}, {2});
    hardware.addDevice(surround, "surround", "Multichannel Output", {}, {8});
    hardware.addDevice(microphone, "mic", "Microphone", {1}, {});
    hardware.addDevice(hdmi, "hdmi", "HDMI", {}, {2}, 44100.0);
  }

  void addOldFabric(AudioObjectID id = oldFabric) {
    hardware.addDevice(id, "com.kandimer.output-fabric", "Kandimer Output Fabric", {}, {2});
  }

  void failDeviceList() {
    hardware.sizeFailures[testing::FakeHardware::key(systemObjectID, selector::devices)] =
        status::notRunning;
  }

  // The platform was neither asked to create nor to destroy anything.
  void expectFabricUntouched() {
    EXPECT_TRUE(hardware.aggregateAttempts.empty());
    EXPECT_TRUE(hardware.destroyedAggregates.empty());
  }
};

}  // namespace vellory::fabric
