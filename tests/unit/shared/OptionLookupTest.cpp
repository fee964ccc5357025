#include <gtest/gtest.h>

#include "shared/OptionLookup.hpp"

namespace vellory {
namespace {

TEST(OptionLookup, FirstOccurrenceAndAnyValue) {
  const std::vector<std::string> args{"--file", "/a.wav", "--file", "/b.wav", "--x", "--y"};
  EXPECT_EQ(argument("--file", args), "/a.wav");
  EXPECT_EQ(argument("--x", args), "--y");
  EXPECT_EQ(argument("--y", args), std::nullopt);
  EXPECT_EQ(argument("--FILE", args), std::nullopt);
}

TEST(OptionLookup, Milliseconds) {
  const auto ms = [](const std::string& value) {
    return milliseconds("--fade-in-ms", {"--fade-in-ms", value});
  };
  EXPECT_EQ(ms("250"), 250);
  EXPECT_EQ(ms("-5"), 0);
  EXPECT_EQ(ms("1.5"), 0);
  EXPECT_EQ(ms("+40"), 40);
  EXPECT_EQ(ms("2000"), 2000);
  EXPECT_EQ(ms("abc"), 0);
  EXPECT_EQ(ms(" 5"), 0);
  EXPECT_EQ(ms("+"), 0);
  EXPECT_EQ(ms("9223372036854775807"), 9223372036854775807);
  EXPECT_EQ(ms("9223372036854775808"), 0);
  EXPECT_EQ(ms("-9223372036854775808"), 0);
  EXPECT_EQ(milliseconds("--fade-in-ms", {"--fade-in-ms"}), 0);
  EXPECT_EQ(milliseconds("--fade-in-ms", {}), 0);
}

}  // namespace
}  // namespace vellory
