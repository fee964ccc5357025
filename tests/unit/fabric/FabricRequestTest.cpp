#include <gtest/gtest.h>

#include "fabric/Fabric.hpp"

namespace vellory::fabric {
namespace {

std::string faultOf(const std::string& text) {
  try {
    decodeFabric(text);
  } catch (const FabricRequestError& error) {
    return error.what();
  }
  return "decoded";
}

TEST(FabricRequest, FaultsNameTheirPlace) {
  EXPECT_EQ(faultOf("{"), "Invalid output fabric request: not valid JSON (at byte 2).");
  EXPECT_EQ(faultOf(R"({"members":[{"stableId":"a"},{"stableId":"b","enabled":0}]})"),
            "Invalid output fabric request: members[1].enabled is not a boolean.");
  EXPECT_EQ(faultOf(R"({"members":[],"clockMasterStableId":[]})"),
            "Invalid output fabric request: clockMasterStableId is not a string.");
  std::string many = R"({"members":[)";
  for (int i = 0; i < 100000; ++i) many += std::string(i ? "," : "") + "{}";
  EXPECT_EQ(faultOf(many + "]}"),
            "Invalid output fabric request: \"members\" has 100000 entries; at most 4096 are "
            "accepted.");
}

TEST(FabricRequest, NumbersNoDoubleHoldsAreRefusedInOurWords) {
  EXPECT_EQ(faultOf(R"({"members":[],"x":1e400})"),
            "Invalid output fabric request: number out of range at byte 19.");
  EXPECT_EQ(faultOf(R"({"note":"1e999","members":[-)" + std::string(1000, '9') + "]}"),
            "Invalid output fabric request: number out of range at byte 28.");
  // Integers too large for 64 bits that a double still holds are accepted.
  EXPECT_EQ(faultOf(R"({"members":[],"x":)" + std::string(300, '9') + "}"), "decoded");
}

TEST(FabricRequest, NestingLimitCountsOnlyStructureOutsideStrings) {
  const std::string brackets(200, '[');
  EXPECT_EQ(faultOf(R"({"members":[],"note":")" + brackets + R"(\"[{"})"), "decoded");
  EXPECT_EQ(faultOf(R"({"members":[],"x":)" + std::string(127, '[') + std::string(127, ']') + "}"),
            "decoded");
  EXPECT_EQ(faultOf(R"({"members":[],"x":)" + std::string(128, '[') + std::string(128, ']') + "}"),
            "Invalid output fabric request: nested too deeply.");
}

TEST(FabricRequest, AnyTextIsAnIdentifier) {
  const std::string longId(5000, 'a');
  EXPECT_EQ(faultOf(R"({"members":[{"stableId":")" + longId + R"("}]})"), "decoded");
  EXPECT_EQ(faultOf(R"({"members":[{"stableId":"b\tc\u0000"}],"clockMasterStableId":"\n"})"),
            "decoded");
}

}  // namespace
}  // namespace vellory::fabric
