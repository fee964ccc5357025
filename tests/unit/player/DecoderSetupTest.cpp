#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "player/DecoderCommand.hpp"
#include "player/DecoderText.hpp"
#include "player/HttpsOnly.hpp"
#include "player/PlayerError.hpp"
#include "player/SourceCheck.hpp"

namespace vellory::player {
namespace {

TEST(DecoderCommand, FourteenWordsForAFileWithTheSourceUnchanged) {
  EXPECT_EQ(
      decoderArguments("/music/a b.mp3", false, std::string("/ca.pem")),
      (std::vector<std::string>{"-hide_banner", "-loglevel", "error", "-i", "/music/a b.mp3", "-f",
                                "s16le", "-acodec", "pcm_s16le", "-ac", "2", "-ar", "48000", "-"}));
}

TEST(DecoderCommand, AStreamIsAskedToReconnectAndVerifyBeforeItIsOpened) {
  EXPECT_EQ(decoderArguments("HTTPS://Example.com/a b.mp3", true, std::nullopt),
            (std::vector<std::string>{"-hide_banner",
                                      "-loglevel",
                                      "error",
                                      "-reconnect",
                                      "1",
                                      "-reconnect_streamed",
                                      "1",
                                      "-reconnect_on_network_error",
                                      "1",
                                      "-reconnect_delay_max",
                                      "4",
                                      "-rw_timeout",
                                      "5000000",
                                      "-tls_verify",
                                      "1",
                                      "-protocol_whitelist",
                                      "https,tls,tcp,crypto",
                                      "-i",
                                      "HTTPS://Example.com/a b.mp3",
                                      "-f",
                                      "s16le",
                                      "-acodec",
                                      "pcm_s16le",
                                      "-ac",
                                      "2",
                                      "-ar",
                                      "48000",
                                      "-"}));
}

TEST(DecoderCommand, AGivenCAFileIsTheOneTrusted) {
  const auto words =
      decoderArguments("https://example.com/a.mp3", true, std::string("/a b/ca.pem"));
  const auto verify = std::find(words.begin(), words.end(), "-tls_verify");
  const auto input = std::find(words.begin(), words.end(), "-i");
  ASSERT_LE(verify + 6, input);
  EXPECT_EQ(std::vector<std::string>(verify, verify + 6),
            (std::vector<std::string>{"-tls_verify", "1", "-ca_file", "/a b/ca.pem",
                                      "-protocol_whitelist", "https,tls,tcp,crypto"}));
}

TEST(DecoderCommand, TheVariableNamesTheCAFileUnlessItIsEmpty) {
  const char* saved = std::getenv("VELLORY_TLS_CA_FILE");
  const std::optional<std::string> savedValue =
      saved ? std::optional<std::string>(saved) : std::nullopt;
  const std::optional<std::string> bundle = "/etc/ssl/cert.pem";
  unsetenv("VELLORY_TLS_CA_FILE");
  EXPECT_EQ(trustedCAFile(bundle), bundle);
  EXPECT_EQ(trustedCAFile(std::nullopt), std::nullopt);
  setenv("VELLORY_TLS_CA_FILE", "", 1);
  EXPECT_EQ(trustedCAFile(bundle), bundle);
  setenv("VELLORY_TLS_CA_FILE", "/srv/own-ca.pem", 1);
  EXPECT_EQ(trustedCAFile(bundle), std::optional<std::string>("/srv/own-ca.pem"));
  EXPECT_EQ(trustedCAFile(std::nullopt), std::optional<std::string>("/srv/own-ca.pem"));
  savedValue ? setenv("VELLORY_TLS_CA_FILE", savedValue->c_str(), 1)
             : unsetenv("VELLORY_TLS_CA_FILE");
}

TEST(DecoderCommand, CandidatesInOrderWithTheVariableFirstEvenWhenEmpty) {
  std::vector<std::string> fixed = {"/opt/homebrew/bin/ffmpeg", "/usr/local/bin/ffmpeg",
                                    "/home/u/Vellory/Runtime/ffmpeg"};
#if defined(__linux__)
  fixed.push_back("/usr/bin/ffmpeg");
#endif
  EXPECT_EQ(ffmpegCandidates(std::nullopt, "/home/u"), fixed);
  auto withEmpty = fixed;
  withEmpty.insert(withEmpty.begin(), "");
  EXPECT_EQ(ffmpegCandidates(std::string(), "/home/u"), withEmpty);
}

TEST(DecoderCommand, OnlyExecutableRegularFilesCount) {
  char directory[] = "/tmp/vellory-decoder-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string plain = std::string(directory) + "/plain";
  std::ofstream(plain) << "x";
  chmod(plain.c_str(), 0644);
  EXPECT_FALSE(isExecutableFile(plain));
  EXPECT_FALSE(isExecutableFile(directory));
  EXPECT_FALSE(isExecutableFile(""));
  EXPECT_FALSE(isExecutableFile(std::string(directory) + "/missing"));
  EXPECT_TRUE(isExecutableFile(VELLORY_FAKE_DECODER));
  unlink(plain.c_str());
  rmdir(directory);
}

TEST(DecoderCommand, FindUsesTheVariableAndFallsBackWhenItIsUnusable) {
  const char* saved = std::getenv("VELLORY_FFMPEG");
  const std::string savedValue = saved ? saved : "";
  setenv("VELLORY_FFMPEG", VELLORY_FAKE_DECODER, 1);
  EXPECT_EQ(findFFmpeg("/nonexistent"), std::optional<std::string>(VELLORY_FAKE_DECODER));
  setenv("VELLORY_FFMPEG", "/nonexistent/ffmpeg", 1);
  std::optional<std::string> expected;
  for (const auto& candidate : ffmpegCandidates(std::nullopt, "/nonexistent")) {
    if (isExecutableFile(candidate)) {
      expected = candidate;
      break;
    }
  }
  EXPECT_EQ(findFFmpeg("/nonexistent"), expected);
  if (saved) {
    setenv("VELLORY_FFMPEG", savedValue.c_str(), 1);
  } else {
    unsetenv("VELLORY_FFMPEG");
  }
}

void expectUsage(const std::string& source, bool isURL, const std::string& message) {
  try {
    checkSource(source, isURL);
    ADD_FAILURE() << source << " was accepted";
  } catch (const PlayerError& error) {
    EXPECT_EQ(error.description(), message) << source;
  }
}

TEST(SourceCheck, UrlsMustBeHttpsInAnyCase) {
  EXPECT_NO_THROW(checkSource("https://example.com/stream", true));
  EXPECT_NO_THROW(checkSource("HTTPS://example.com/stream", true));
  EXPECT_NO_THROW(checkSource("hTtPs:opaque", true));
  for (const char* bad :
       {"http://example.com/x", "https//example.com", "", "://x", "1https://x", "ftp://x",
        "https ://x", " https://x", "https://x\ny", "/local/file", "httpsx://x", "htt ps://x"}) {
    expectUsage(bad, true, "Stream URL must be https://…");
  }
}

TEST(SourceCheck, FilesMustBeAbsolute) {
  EXPECT_NO_THROW(checkSource("/music/a.mp3", false));
  for (const char* bad : {"music/a.mp3", "./a.mp3", "", "~/a.mp3", "https://x"}) {
    expectUsage(bad, false, "Local player paths must be absolute.");
  }
}

TEST(DecoderText, TrimsAndRejectsInvalidUtf8) {
  EXPECT_EQ(decoderText("  \r\n\tNo such file: ä\n\n"), "No such file: ä");
  EXPECT_EQ(decoderText("line one\nline two\n"), "line one\nline two");
  EXPECT_EQ(decoderText(" \n "), "");
  EXPECT_EQ(decoderText("bad \xC3\x28 byte\n"), "");
  EXPECT_EQ(decoderText("overlong \xC0\xAF"), "");
  EXPECT_EQ(decoderText("surrogate \xED\xA0\x80"), "");
  EXPECT_EQ(decoderText("cut \xE2\x82"), "");
  EXPECT_EQ(decoderText("emoji \xF0\x9F\x8E\xB5"), "emoji \xF0\x9F\x8E\xB5");
}

// The decoder's own words (ffmpeg 5.1) for a part of a stream that left https, and others that
// look alike but say something else.
TEST(HttpsOnly, TheDecodersRefusalsOfPlainPartsAreRecognised) {
  for (const char* left :
       {"[http @ 0x55] Protocol 'http' not on whitelist 'https,tls,tcp,crypto'!",
        "[hls @ 0x1] Cannot reuse HTTP connection\n[udp @ 0x2] Protocol 'udp' not on whitelist "
        "'https,tls,tcp,crypto'!\n[hls @ 0x1] Unable to open key file http://a/k.key",
        "Option tls_verify not found.", "Option ca_file not found.\n"}) {
    EXPECT_TRUE(reportsLeavingHttps(left)) << left;
  }
  for (const char* other :
       {"[httpproxy @ 0x3] Protocol 'httpproxy' not on whitelist 'https,tls,tcp,crypto'!",
        "[http @ 0x4] Protocol 'http' not on whitelist 'file,crypto,data'!",
        "Protocol 'http' not on whitelist 'https,tls,tcp,crypto", "Protocol 'http",
        "https://a/b.wav: Server returned 404 Not Found", "Option tls_verify", ""}) {
    EXPECT_FALSE(reportsLeavingHttps(other)) << other;
  }
}

}  // namespace
}  // namespace vellory::player
