#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "announcement/AtomicFile.hpp"

namespace vellory::announcement {
namespace {

namespace fs = std::filesystem;

TEST(AtomicFile, ReplacesTheWholeContentAndLeavesNothingBeside) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("atomic-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / "stats.log";
  ASSERT_TRUE(writeFileAtomically(file.string(), "a much longer first content\n"));
  ASSERT_TRUE(writeFileAtomically(file.string(), "second\n"));
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "second\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  // A symbolic link in its place is replaced, not written through.
  const fs::path target = dir / "target";
  std::ofstream(target) << "keep";
  fs::remove(file);
  fs::create_symlink(target, file);
  ASSERT_TRUE(writeFileAtomically(file.string(), "new\n"));
  EXPECT_FALSE(fs::is_symlink(file));
  std::ifstream kept(target);
  std::string word;
  kept >> word;
  EXPECT_EQ(word, "keep");

  EXPECT_FALSE(writeFileAtomically((dir / "missing" / "x.log").string(), "x"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vellory::announcement
