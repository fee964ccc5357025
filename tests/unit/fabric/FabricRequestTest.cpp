#include <gtest/gtest.h>

#include "fabric/Fabric.hpp"

namespace vellory {
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
  EXPECT_EQ(faultOf(R"({"members":[{"stableId":"a"},{"stableId":"b\tc"}]})"),
            "Invalid output fabric request: members[1].stableId contains a control character.");
  EXPECT_EQ(faultOf(R"({"members":[],"clockMasterStableId":[]})"),
            "Invalid output fabric request: clockMasterStableId is not a string.");
  std::string many = R"({"members":[)";
  for (int i = 0; i < 100000; ++i) many += std::string(i ? "," : "") + "{}";
  EXPECT_EQ(faultOf(many + "]}"),
            "Invalid output fabric request: \"members\" has 100000 entries; at most 64 are "
            "accepted.");
}

TEST(FabricRequest, NestingLimitCountsOnlyStructureOutsideStrings) {
  const std::string brackets(200, '[');
  EXPECT_EQ(faultOf(R"({"members":[],"note":")" + brackets + R"(\"[{"})"), "decoded");
  EXPECT_EQ(faultOf(R"({"members":[],"x":)" + std::string(31, '[') + std::string(31, ']') + "}"),
            "decoded");
  EXPECT_EQ(faultOf(R"({"members":[],"x":)" + std::string(32, '[') + std::string(32, ']') + "}"),
            "Invalid output fabric request: nested too deeply.");
}

TEST(FabricRequest, IdentifierLengthLimit) {
  const std::string limit(maxStableIdBytes, 'a');
  EXPECT_EQ(faultOf(R"({"members":[{"stableId":")" + limit + R"("}]})"), "decoded");
  EXPECT_EQ(faultOf(R"({"members":[{"stableId":")" + limit + R"(a"}]})"),
            "Invalid output fabric request: members[0].stableId is longer than 1024 bytes.");
}

}  // namespace
}  // namespace vellory
