#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "announcement/PlayerError.hpp"
#include "announcement/StereoFilePlayer.hpp"
#include "fakes/FakeAudioFile.hpp"
#include "fakes/FakeClock.hpp"
#include "fakes/FakeHardware.hpp"
#include "fakes/FakeOutputQueue.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::testing {

// A fake platform with one stereo default output, and a log file of the test's own.
class PlayerTest : public ::testing::Test {
 protected:
  PlayerTest() {
    hardware.addDevice(7, "speakers", "Speakers", {}, {2});
    hardware.setValue(systemObjectID, selector::defaultOutputDevice, AudioObjectID{7});
    logPath = (std::filesystem::path(::testing::TempDir()) /
               ("player-stats-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log"))
                  .string();
    std::filesystem::remove(logPath);
  }
  ~PlayerTest() override { std::filesystem::remove(logPath); }

  announcement::PlayerPlatform platform() { return {hardware, output, files, clock}; }

  std::unique_ptr<announcement::StereoFilePlayer> makePlayer(const FakeFileScript& script) {
    files.setScript(script);
    return std::make_unique<announcement::StereoFilePlayer>("/sounds/a.wav", platform(), err,
                                                            logPath);
  }

  // The message a failed construction carries, or "built".
  std::string constructionError(const FakeFileScript& script, const FakeQueueScript& queue = {}) {
    output.setScript(queue);
    try {
      makePlayer(script);
      return "built";
    } catch (const announcement::PlayerError& error) {
      return error.description();
    }
  }

  std::shared_ptr<FakeQueueCore> queue() { return output.last(); }

  static FakeFileScript fileOf(std::size_t frames, float level = 0.8f, double rate = 48000.0) {
    FakeFileScript script;
    script.samples = constantFrames(frames, level, level);
    script.format.mSampleRate = rate;
    return script;
  }

  FakeHardware hardware;
  FakeAudioOutput output;
  FakeAudioFileReader files;
  FakeClock clock;
  StringSink err;
  std::string logPath;
};

}  // namespace vellory::testing
