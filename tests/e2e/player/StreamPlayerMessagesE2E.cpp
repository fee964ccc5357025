#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "e2e/player/PlayerE2ESupport.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;

class StreamPlayerMessagesE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveSoundServer()) GTEST_SKIP() << "no sound server (PULSE_SERVER)";
  }

  // An executable that runs the scripted stand-in decoder with `script`.
  std::string scriptedDecoder(const std::string& script) {
    const auto path = dir_.file("decoder.sh");
    std::ofstream(path) << "#!/bin/sh\nexec " << VELLORY_FAKE_DECODER << " " << script
                        << " -- \"$@\"\n";
    chmod(path.c_str(), 0755);
    return path;
  }

  TempDir dir_;
};

TEST_F(StreamPlayerMessagesE2E, UnusableSourcesAreRefusedBeforeDecoding) {
  auto result = runCommand({program("vellory-player"), "--url", "http://127.0.0.1/a.mp3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[vellory-player] Stream URL must be https://…\n");
  result = runCommand({program("vellory-player"), "--file", "music/a.mp3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[vellory-player] Local player paths must be absolute.\n");
  result = runCommand({program("vellory-player")});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "[vellory-player] Usage: vellory-player --url <https://…> | --file <absolute-path>\n");
  EXPECT_EQ(result.out, "");
}

TEST_F(StreamPlayerMessagesE2E, MissingFileFailsWithTheDecodersMessage) {
  const auto missing = dir_.file("missing.wav");
  const auto result = runCommand({program("vellory-player"), "--file", missing}, 15s);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[vellory-player] " + missing + ": No such file or directory\n");

  // A line feed in the path does not split the line.
  const auto twoLines = dir_.file("first\nsecond.wav");
  const auto split = runCommand({program("vellory-player"), "--file", twoLines}, 15s);
  EXPECT_EQ(split.status, 1);
  EXPECT_EQ(split.err,
            "[vellory-player] " + dir_.file("first second.wav") + ": No such file or directory\n");
}

TEST_F(StreamPlayerMessagesE2E, NoDecoderAnywhere) {
  // Hide every fixed place in a private mount namespace; the variable names nothing usable.
  const std::string hide =
      "for f in /opt/homebrew/bin/ffmpeg /usr/local/bin/ffmpeg /usr/bin/ffmpeg; do "
      "[ -e \"$f\" ] && { mount --bind /dev/null \"$f\" || exit 77; }; done; exec \"$@\"";
  const auto result =
      runCommand({"unshare", "-m", "sh", "-c", hide, "sh", program("vellory-player"), "--file",
                  "/music/a.mp3"},
                 10s, {{"VELLORY_FFMPEG", dir_.file("nothing")}, {"HOME", dir_.path()}});
  if (result.status == 77 || result.err.find("unshare") != std::string::npos) {
    GTEST_SKIP() << "no private mount namespace here: " << result.err;
  }
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[vellory-player] ffmpeg not found for player decode.\n");
}

TEST_F(StreamPlayerMessagesE2E, DecoderThatFailsAfterPlaying) {
  const auto decoder = scriptedDecoder("out:96000 'say:Stream ends prematurely' exit:1");
  auto result = runCommand({program("vellory-player"), "--file", "/music/a.mp3"}, 15s,
                           {{"VELLORY_FFMPEG", decoder}});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "[vellory-player] progressive file → stereo AudioQueue @ 48000 Hz\n"
            "[vellory-player] Stream ends prematurely\n");

  const auto silent = scriptedDecoder("out:96000 exit:1");
  result = runCommand({program("vellory-player"), "--file", "/music/a.mp3"}, 15s,
                      {{"VELLORY_FFMPEG", silent}});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "[vellory-player] progressive file → stereo AudioQueue @ 48000 Hz\n"
            "[vellory-player] ffmpeg exited with status 1.\n");
}

}  // namespace
}  // namespace vellory::e2e
