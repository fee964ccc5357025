#include <gtest/gtest.h>

#include "shared/JsonWriter.hpp"

namespace vellory {
namespace {

TEST(JsonWriter, SortsKeysKeepsSlashesAndEndsWithOneNewlinePerWrite) {
  StringSink out;
  writeJson(out, nlohmann::json{{"zeta", 1}, {"alpha", "a/b"}, {"mid", true}});
  const std::string text = out.text();
  EXPECT_LT(text.find("\"alpha\""), text.find("\"mid\""));
  EXPECT_LT(text.find("\"mid\""), text.find("\"zeta\""));
  EXPECT_NE(text.find("\"a/b\""), std::string::npos);
  EXPECT_EQ(text.find("\\/"), std::string::npos);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_NE(text.back(), text[text.size() - 2]);
  EXPECT_EQ(nlohmann::json::parse(text)["zeta"], 1);
}

TEST(JsonWriter, InvalidUTF8IsReplacedAndTheDocumentStaysValid) {
  const std::string broken = std::string("com.bad\xff\xfe") + "app";
  const std::string text = encodeJson(nlohmann::json{{"bundleID", broken}});
  const auto parsed = nlohmann::json::parse(text);
  EXPECT_EQ(parsed["bundleID"],
            "com.bad\xEF\xBF\xBD\xEF\xBF\xBD"
            "app");
}

TEST(JsonWriter, EmptyArrayAndOneMemberPerLine) {
  EXPECT_EQ(encodeJson(nlohmann::json::array()), "[]");
  const std::string text = encodeJson(nlohmann::json{{"a", 1}, {"b", 2}});
  EXPECT_EQ(text, "{\n  \"a\": 1,\n  \"b\": 2\n}");
}

}  // namespace
}  // namespace vellory
