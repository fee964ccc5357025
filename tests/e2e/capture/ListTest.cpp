#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "e2e/support/SoundFixtures.hpp"

namespace vellory::e2e {
namespace {

const std::string tool = program("vellory-process-tap");

nlohmann::json findByBundle(const nlohmann::json& list, const std::string& bundleID) {
  for (const auto& item : list) {
    if (item["bundleID"] == bundleID) return item;
  }
  return nullptr;
}

TEST(ProcessTapList, ShowsTaggedApplicationsWithPidAndRunning) {
  TempDir dir;
  makeTone(dir.file("tone.wav"), 440, 20);
  auto safari = playAsApplication("com.apple.Safari", dir.file("tone.wav"));
  auto vlc = playAsApplication("org.videolan.vlc", dir.file("tone.wav"));

  nlohmann::json list;
  ASSERT_TRUE(waitUntil(
      [&] {
        const auto result = runCommand({tool, "list"});
        if (result.status != 0) return false;
        list = nlohmann::json::parse(result.out);
        const auto a = findByBundle(list, "com.apple.Safari");
        const auto b = findByBundle(list, "org.videolan.vlc");
        return !a.is_null() && !b.is_null() && a["running"] == true && b["running"] == true;
      },
      std::chrono::seconds(5)))
      << list.dump();
  EXPECT_EQ(findByBundle(list, "com.apple.Safari")["pid"], safari->pid());
  EXPECT_EQ(findByBundle(list, "org.videolan.vlc")["pid"], vlc->pid());

  const auto bare = runCommand({tool});
  EXPECT_EQ(bare.status, 0);
  EXPECT_TRUE(nlohmann::json::parse(bare.out).is_array());
}

TEST(ProcessTapList, UnknownCommandGivesTheUsageLine) {
  const auto result = runCommand({tool, "List"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "[process-tap] Usage: vellory-process-tap list | run [--live-input-name NAME] "
            "[slot-bundle-id ...]\n");
}

TEST(ProcessTapList, UnreachableServerFailsWithOneTaggedLine) {
  TempDir dir;
  const auto result = runCommand({tool, "list"}, std::chrono::seconds(10),
                                 {{"PULSE_SERVER", "unix:" + dir.file("nothing-here")}});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "[process-tap] Read object-list size failed (OSStatus 1937010544, fourCC stop).\n");
}

}  // namespace
}  // namespace vellory::e2e
