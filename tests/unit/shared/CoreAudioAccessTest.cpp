#include <gtest/gtest.h>

#include "capture/CaptureAccess.hpp"
#include "capture/TapError.hpp"
#include "fabric/FabricAccess.hpp"
#include "fabric/FabricError.hpp"
#include "fakes/FakeHardware.hpp"
#include "shared/BufferList.hpp"
#include "shared/CoreAudioAccess.hpp"
#include "shared/PropertyReads.hpp"

namespace vellory {
namespace {

using capture::TapError;
using fabric::FabricError;
using testing::FakeHardware;

TEST(FourCC, PrintableBytesAreKeptAndOthersGiveDashes) {
  EXPECT_EQ(fourCC(status::badObject), "!obj");
  EXPECT_EQ(fourCC(static_cast<OSStatus>(fourCharCode("uid "))), "uid ");
  EXPECT_EQ(fourCC(static_cast<OSStatus>(fourCharCode("~~~~"))), "~~~~");
  EXPECT_EQ(fourCC(0), "----");
  EXPECT_EQ(fourCC(-50), "----");
  EXPECT_EQ(fourCC(static_cast<OSStatus>(0x41424344u | 0x7Fu)), "----");
  EXPECT_EQ(fourCC(static_cast<OSStatus>(0x7F414243u)), "----");
  EXPECT_EQ(fourCC(static_cast<OSStatus>(0x1F414243u)), "----");
}

TEST(ToolErrorDescription, StatusUsageAndMessage) {
  EXPECT_EQ(TapError::status("Read string property " + std::to_string(selector::deviceUID), -50)
                .description(),
            "Read string property 1969841184 failed (OSStatus -50, fourCC ----).");
  EXPECT_EQ(FabricError::status("Read object list", status::notRunning).description(),
            "Read object list failed (OSStatus 1937010544, fourCC stop).");
  EXPECT_EQ(TapError::usage("Missing value for --live-input-name").description(),
            "Missing value for --live-input-name");
  EXPECT_EQ(FabricError::message("x\ny").description(), "x y");
  EXPECT_STREQ(FabricError::usage("u").what(), "u");
  EXPECT_EQ(std::to_string(selector::tapFormat), "1952869748");
}

class AccessTest : public ::testing::Test {
 protected:
  FakeHardware hardware;
  CoreAudioAccess capture{hardware, capture::captureAccess()};
  CoreAudioAccess fabric{hardware, fabric::fabricAccess()};
};

TEST_F(AccessTest, ObjectListsKeepOrderAndFailWithTheirTexts) {
  hardware.lists[selector::processObjectList] = {7, 3, 0x80000001u};
  EXPECT_EQ(capture.objectIDs(selector::processObjectList),
            (std::vector<AudioObjectID>{7, 3, 0x80000001u}));
  hardware.lists[selector::devices] = {};
  EXPECT_TRUE(capture.objectIDs(selector::devices).empty());

  hardware.sizeFailures[FakeHardware::key(1, selector::devices)] = status::notRunning;
  try {
    capture.objectIDs(selector::devices);
    FAIL();
  } catch (const TapError& error) {
    EXPECT_EQ(error.description(),
              "Read object-list size failed (OSStatus 1937010544, fourCC stop).");
  }
  try {
    fabric.objectIDs(selector::devices);
    FAIL();
  } catch (const FabricError& error) {
    EXPECT_EQ(error.description(),
              "Read device-list size failed (OSStatus 1937010544, fourCC stop).");
  }
  hardware.sizeFailures.clear();
  hardware.readFailures[FakeHardware::key(1, selector::devices)] = -50;
  EXPECT_THROW(
      {
        try {
          capture.objectIDs(selector::devices);
        } catch (const TapError& error) {
          EXPECT_EQ(error.description(), "Read object list failed (OSStatus -50, fourCC ----).");
          throw;
        }
      },
      TapError);
  try {
    fabric.objectIDs(selector::devices);
    FAIL();
  } catch (const FabricError& error) {
    EXPECT_EQ(error.description(), "Read device list failed (OSStatus -50, fourCC ----).");
  }
}

TEST_F(AccessTest, ShortListReadLeavesNoPhantomObjectZero) {
  hardware.lists[selector::devices] = {11, 12, 13};
  hardware.listReadLimit = 8;
  EXPECT_EQ(capture.objectIDs(selector::devices), (std::vector<AudioObjectID>{11, 12}));
}

TEST_F(AccessTest, ScalarAndStringReads) {
  hardware.setValue<std::int32_t>(5, selector::processPID, -7);
  EXPECT_EQ(capture.scalar<std::int32_t>(5, selector::processPID, 0), -7);
  try {
    capture.scalar<std::uint32_t>(5, selector::processIsRunning, 0);
    FAIL();
  } catch (const TapError& error) {
    EXPECT_EQ(error.description(), "Read property " + std::to_string(selector::processIsRunning) +
                                       " failed (OSStatus " +
                                       std::to_string(status::unknownProperty) + ", fourCC " +
                                       fourCC(status::unknownProperty) + ").");
  }
  hardware.strings[FakeHardware::key(5, selector::processBundleID)] = std::nullopt;
  EXPECT_EQ(capture.string(5, selector::processBundleID), "");
  hardware.strings[FakeHardware::key(5, selector::deviceUID)] = "a/b";
  EXPECT_EQ(capture.string(5, selector::deviceUID), "a/b");
  hardware.readFailures[FakeHardware::key(5, selector::deviceUID)] = -50;
  try {
    capture.string(5, selector::deviceUID);
    FAIL();
  } catch (const ToolError& error) {
    EXPECT_EQ(error.description(),
              "Read string property 1969841184 failed (OSStatus -50, fourCC ----).");
  }
}

TEST_F(AccessTest, DestroysEveryDeviceBearingTheToolsUIDInListOrder) {
  hardware.addDevice(20, "com.vellory.application-capture", "A", {}, {2});
  hardware.addDevice(21, "speakers", "Speakers", {}, {2});
  hardware.addDevice(22, "com.vellory.application-capture", "B", {}, {2});
  hardware.addDevice(23, "com.kandimer.output-fabric", "F", {}, {2});
  capture.destroyExistingAggregate();
  EXPECT_EQ(hardware.destroyedAggregates, (std::vector<AudioObjectID>{20, 22}));
  fabric.destroyExistingAggregate();
  EXPECT_EQ(hardware.destroyedAggregates, (std::vector<AudioObjectID>{20, 22, 23}));
}

TEST_F(AccessTest, UnreadableUIDStopsTheCaptureWalkButIsSkippedByTheFabric) {
  hardware.addDevice(30, "x", "X", {}, {2});
  hardware.addDevice(31, "com.kandimer.output-fabric", "F", {}, {2});
  hardware.addDevice(32, "com.vellory.application-capture", "C", {}, {2});
  hardware.readFailures[FakeHardware::key(30, selector::deviceUID)] = status::badObject;
  try {
    capture.destroyExistingAggregate();
    FAIL();
  } catch (const ToolError& error) {
    EXPECT_EQ(error.description(),
              "Read string property 1969841184 failed (OSStatus 560947818, fourCC !obj).");
  }
  EXPECT_TRUE(hardware.destroyedAggregates.empty());
  fabric.destroyExistingAggregate();
  EXPECT_EQ(hardware.destroyedAggregates, (std::vector<AudioObjectID>{31}));
}

TEST_F(AccessTest, FailedDestroyLeavesLaterDevicesInPlace) {
  hardware.addDevice(40, "com.vellory.application-capture", "A", {}, {2});
  hardware.addDevice(41, "com.vellory.application-capture", "B", {}, {2});
  hardware.destroyAggregateFailures[40] = status::illegalOperation;
  try {
    capture.destroyExistingAggregate();
    FAIL();
  } catch (const ToolError& error) {
    EXPECT_EQ(error.description(),
              "Destroy stale aggregate device failed (OSStatus 1852797029, fourCC nope).");
  }
  EXPECT_EQ(hardware.destroyedAggregates, (std::vector<AudioObjectID>{40}));
  hardware.lists[selector::devices] = {40, 41};
  hardware.destroyAggregateFailures[40] = status::illegalOperation;
  try {
    AccessVariant fabricVariant = fabric::fabricAccess();
    fabricVariant.aggregateUID = "com.vellory.application-capture";
    CoreAudioAccess fabricCapture(hardware, fabricVariant);
    fabricCapture.destroyExistingAggregate();
    FAIL();
  } catch (const FabricError& error) {
    EXPECT_EQ(error.description(),
              "Destroy existing output fabric failed (OSStatus 1852797029, fourCC nope).");
  }
}

TEST(PropertyReads, ASizeThatIsNotWholeEntriesNeverOverrunsTheList) {
  FakeHardware hardware;
  std::vector<std::byte> sixBytes(6, std::byte{0});
  sixBytes[0] = std::byte{7};
  hardware.values[FakeHardware::key(5, selector::devices)] = sixBytes;
  const ObjectList list = readObjectList(hardware, 5, PropertyAddress{selector::devices});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(list.ids, (std::vector<AudioObjectID>{7}));

  std::string text = "old";
  EXPECT_EQ(readString(hardware, 5, PropertyAddress{selector::objectName}, text),
            status::unknownProperty);
  EXPECT_EQ(text, "");
}

TEST(BufferList, SumsChannelsWithinTheReturnedBytesOnly) {
  auto bytes = encodeBufferList({2, 2});
  EXPECT_EQ(sumBufferListChannels(bytes.data(), bytes.size()), 4u);
  EXPECT_EQ(sumBufferListChannels(bytes.data(), bytes.size() - 1), 0u);
  EXPECT_EQ(sumBufferListChannels(bytes.data(), 3), 0u);
  auto empty = encodeBufferList({});
  EXPECT_EQ(sumBufferListChannels(empty.data(), empty.size()), 0u);
  auto eight = encodeBufferList({8});
  EXPECT_EQ(sumBufferListChannels(eight.data(), eight.size()), 8u);
}

}  // namespace
}  // namespace vellory
