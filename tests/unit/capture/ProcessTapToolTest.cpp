#include <gtest/gtest.h>

#include "capture/CaptureAccess.hpp"
#include "capture/ProcessTapTool.hpp"
#include "capture/TapError.hpp"
#include "fakes/FakeHardware.hpp"

namespace vellory::capture {
namespace {

using testing::FakeHardware;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
  std::optional<RunOptions> runOptions;
  std::vector<ProcessInfo> runInventory;
};

ToolRun runTool(FakeHardware& hardware, const std::vector<std::string>& args) {
  CoreAudioAccess access(hardware, captureAccess());
  StringSink out;
  StringSink err;
  ToolRun result;
  result.status =
      runProcessTapTool(args, access, {out, err},
                        [&](const RunOptions& options, const std::vector<ProcessInfo>& inventory) {
                          result.runOptions = options;
                          result.runInventory = inventory;
                        });
  result.out = out.text();
  result.err = err.text();
  return result;
}

TEST(ProcessTapTool, ListAndNoArgumentsPrintTheSameInventory) {
  FakeHardware hardware;
  hardware.addProcess(10, 100, "com.apple.Safari", true);
  const auto listed = runTool(hardware, {"list", "extra"});
  const auto bare = runTool(hardware, {});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, bare.out);
  EXPECT_EQ(listed.err, "");
  EXPECT_EQ(nlohmann::json::parse(listed.out)[0]["pid"], 100);
  EXPECT_EQ(listed.out.back(), '\n');
}

TEST(ProcessTapTool, UnknownCommandTakesTheInventoryFirst) {
  FakeHardware hardware;
  hardware.addProcess(10, 100, "x", true);
  hardware.readFailures[FakeHardware::key(10, selector::processPID)] = -50;
  const auto result = runTool(hardware, {"LIST"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "[process-tap] Ignoring process object 10: Read property 1886415204 failed (OSStatus "
            "-50, fourCC ----).\n"
            "[process-tap] Usage: vellory-process-tap list | run [--live-input-name NAME] "
            "[slot-bundle-id ...]\n");
}

TEST(ProcessTapTool, UnreadableInventoryWinsOverTheUsageError) {
  FakeHardware hardware;
  hardware.sizeFailures[FakeHardware::key(1, selector::processObjectList)] = status::notRunning;
  const auto result = runTool(hardware, {"bogus"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "[process-tap] Read object-list size failed (OSStatus 1937010544, fourCC stop).\n");
}

TEST(ProcessTapTool, RunGrammar) {
  FakeHardware hardware;
  auto result = runTool(hardware, {"run", "--live-input-name"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[process-tap] Missing value for --live-input-name\n");
  EXPECT_FALSE(result.runOptions);

  result = runTool(hardware, {"run", "--live-input-name", "A", "com.x", "--live-input-name", "B"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(*result.runOptions, (RunOptions{{"com.x"}, "B"}));

  result = runTool(hardware, {"run", "--live-input-name", "-dash", "--weird", "b|c"});
  EXPECT_EQ(*result.runOptions, (RunOptions{{"--weird", "b|c"}, "-dash"}));

  result = runTool(hardware, {"run"});
  EXPECT_EQ(*result.runOptions, (RunOptions{defaultSlotPrefixes(), std::nullopt}));
  EXPECT_EQ(defaultSlotPrefixes(),
            (std::vector<std::string>{"com.google.Chrome", "com.apple.Safari", "org.videolan.vlc",
                                      "com.apple.Music"}));
}

TEST(ProcessTapTool, RunFailureIsReportedWithTheTag) {
  FakeHardware hardware;
  CoreAudioAccess access(hardware, captureAccess());
  StringSink out;
  StringSink err;
  const int status = runProcessTapTool({"run"}, access, {out, err}, [](auto&, auto&) {
    throw TapError::status("Create aggregate device", status::illegalOperation);
  });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err.text(),
            "[process-tap] Create aggregate device failed (OSStatus 1852797029, fourCC nope).\n");
}

TEST(ProcessTapTool, ALibraryFailureIsOneBoundedLine) {
  FakeHardware hardware;
  CoreAudioAccess access(hardware, captureAccess());
  StringSink out;
  StringSink err;
  const std::string message = "first\nsecond" + std::string(1000, 'x');
  const int status = runProcessTapTool({"run", "a"}, access, {out, err},
                                       [&](const RunOptions&, const std::vector<ProcessInfo>&) {
                                         throw std::runtime_error(message);
                                       });
  EXPECT_EQ(status, 1);
  const std::string line = err.text();
  EXPECT_EQ(line.rfind("[process-tap] first second", 0), 0u) << line;
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  EXPECT_LT(line.size(), 250u);
}

}  // namespace
}  // namespace vellory::capture
