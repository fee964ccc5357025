#include <gtest/gtest.h>

#include "capture/CaptureAccess.hpp"
#include "capture/ProcessInventory.hpp"
#include "fakes/FakeHardware.hpp"
#include "shared/JsonWriter.hpp"

namespace vellory::capture {
namespace {

using testing::FakeHardware;

std::vector<AudioObjectID> ids(const std::vector<ProcessInfo>& list) {
  std::vector<AudioObjectID> result;
  for (const auto& process : list) result.push_back(process.objectID);
  return result;
}

TEST(Inventory, ReadsEveryProcessInListOrderAndIgnoresFailingOnes) {
  FakeHardware hardware;
  hardware.addProcess(10, 100, "com.apple.Safari", true);
  hardware.addProcess(11, 101, "", false);
  hardware.addProcess(12, 102, "org.videolan.vlc", true);
  hardware.addProcess(13, 103, "com.apple.Music", true);
  hardware.readFailures[FakeHardware::key(12, selector::processIsRunning)] = status::badObject;
  hardware.readFailures[FakeHardware::key(13, selector::processPID)] = -50;
  CoreAudioAccess access(hardware, captureAccess());
  StringSink err;
  const auto inventory = processes(access, err);
  EXPECT_EQ(ids(inventory), (std::vector<AudioObjectID>{10, 11}));
  EXPECT_EQ(inventory[0], (ProcessInfo{10, 100, "com.apple.Safari", true}));
  EXPECT_EQ(inventory[1], (ProcessInfo{11, 101, "", false}));
  EXPECT_EQ(err.text(),
            "[process-tap] Ignoring process object 12: Read property 1885958719 failed (OSStatus "
            "560947818, fourCC !obj).\n"
            "[process-tap] Ignoring process object 13: Read property 1886415204 failed (OSStatus "
            "-50, fourCC ----).\n");
}

TEST(Inventory, EveryObjectFailingGivesAnEmptyInventory) {
  FakeHardware hardware;
  hardware.addProcess(10, 100, "a", true);
  hardware.readFailures[FakeHardware::key(10, selector::processBundleID)] = -50;
  CoreAudioAccess access(hardware, captureAccess());
  StringSink err;
  EXPECT_TRUE(processes(access, err).empty());
  EXPECT_EQ(encodeJson(encode(processes(access, err))), "[]");
}

TEST(Inventory, ListFailureThrows) {
  FakeHardware hardware;
  hardware.sizeFailures[FakeHardware::key(1, selector::processObjectList)] = status::notRunning;
  CoreAudioAccess access(hardware, captureAccess());
  StringSink err;
  EXPECT_THROW(processes(access, err), ToolError);
}

TEST(Matching, ExactOrBelowADotOnly) {
  const std::vector<ProcessInfo> inventory{
      {1, 1, "com.apple.Safari", true},
      {2, 2, "com.apple.SafariTechnologyPreview", true},
      {3, 3, "com.apple.Safari.WebContent", false},
      {4, 4, "com.APPLE.Safari", true},
      {5, 5, "", true},
  };
  EXPECT_EQ(ids(matchingProcesses("com.apple.Safari", inventory)),
            (std::vector<AudioObjectID>{1, 3}));
  EXPECT_EQ(ids(matchingProcesses("com.apple", inventory)), (std::vector<AudioObjectID>{1, 2, 3}));
  EXPECT_TRUE(matchingProcesses("", inventory).empty());
  EXPECT_TRUE(matchingProcesses("||", inventory).empty());
  EXPECT_TRUE(matchingProcesses("com.apple.Safari.", inventory).empty());
}

TEST(Matching, AlternativesTakeEachProcessOnceInInventoryOrder) {
  const std::vector<ProcessInfo> inventory{
      {1, 1, "org.videolan.vlc", true},
      {2, 2, "com.apple.Safari", true},
      {3, 3, "com.apple.Music", true},
      {4, 4, " com.apple.Music", true},
  };
  EXPECT_EQ(ids(matchingProcesses("com.apple.Safari|org.videolan.vlc", inventory)),
            (std::vector<AudioObjectID>{1, 2}));
  EXPECT_EQ(ids(matchingProcesses("|com.apple||com.apple.Safari|", inventory)),
            (std::vector<AudioObjectID>{2, 3}));
  EXPECT_EQ(ids(matchingProcesses(" com.apple.Music", inventory)), (std::vector<AudioObjectID>{4}));
}

TEST(Inventory, LearnsTheBundleIDOfTheProcessResponsibleForAHelper) {
  FakeHardware hardware;
  hardware.addProcess(10, 100, "com.apple.Safari", true);
  hardware.addProcess(11, 101, "com.apple.WebKit.GPU", true);
  hardware.addProcess(12, 102, "com.apple.WebKit.GPU", true);
  hardware.responsible[100] = {100, "com.apple.Safari"};  // answers for itself
  hardware.responsible[101] = {100, "com.apple.Safari"};
  hardware.responsible[102] = {300, ""};  // an application whose bundle cannot be told
  CoreAudioAccess access(hardware, captureAccess());
  StringSink err;
  const auto inventory = processes(access, err);
  ASSERT_EQ(inventory.size(), 3u);
  EXPECT_EQ(inventory[0].responsibleBundleID, "");
  EXPECT_EQ(inventory[1].responsibleBundleID, "com.apple.Safari");
  EXPECT_EQ(inventory[1].bundleID, "com.apple.WebKit.GPU");
  EXPECT_EQ(inventory[2].responsibleBundleID, "");
  EXPECT_EQ(err.text(), "");
  // The list document is unchanged: the same four keys.
  EXPECT_EQ(encode(inventory)[1], nlohmann::json::parse(R"({"bundleID": "com.apple.WebKit.GPU",
      "objectID": 11, "pid": 101, "running": true})"));
}

TEST(Matching, AHelperBelongsToTheSlotOfItsResponsibleProcessOnly) {
  ProcessInfo safariHelper{1, 1, "com.apple.WebKit.GPU", true};
  safariHelper.responsibleBundleID = "com.apple.Safari";
  ProcessInfo mailHelper{2, 2, "com.apple.WebKit.GPU", true};
  mailHelper.responsibleBundleID = "com.apple.mail";
  ProcessInfo lookalike{3, 3, "com.apple.WebKit.GPU", true};
  lookalike.responsibleBundleID = "com.apple.SafariTechnologyPreview";
  const std::vector<ProcessInfo> inventory{
      safariHelper, mailHelper, lookalike, {4, 4, "com.apple.Safari", true}};
  EXPECT_EQ(ids(matchingProcesses("com.apple.Safari", inventory)),
            (std::vector<AudioObjectID>{1, 4}));
  EXPECT_EQ(ids(matchingProcesses("org.videolan.vlc|com.apple.mail", inventory)),
            (std::vector<AudioObjectID>{2}));
  EXPECT_EQ(ids(matchingProcesses("com.apple.Safari.WebKit", inventory)),
            (std::vector<AudioObjectID>{}));
  // The helper's own identifier still matches by itself.
  EXPECT_EQ(ids(matchingProcesses("com.apple.WebKit", inventory)),
            (std::vector<AudioObjectID>{1, 2, 3}));
}

TEST(Inventory, ListDocumentHasSortedKeysAndUnsignedIDs) {
  const std::vector<ProcessInfo> inventory{{3000000000u, 42, "com.example/odd", true}};
  const std::string text = encodeJson(encode(inventory));
  EXPECT_EQ(text,
            "[\n  {\n    \"bundleID\": \"com.example/odd\",\n    \"objectID\": 3000000000,\n"
            "    \"pid\": 42,\n    \"running\": true\n  }\n]");
  EXPECT_EQ(decodeProcessInfo(nlohmann::json::parse(text)[0]), inventory[0]);
}

}  // namespace
}  // namespace vellory::capture
