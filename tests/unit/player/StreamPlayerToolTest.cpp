#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "fakes/FakeClock.hpp"
#include "fakes/FakeOutputQueue.hpp"
#include "player/DecoderCommand.hpp"
#include "player/StreamPlayerTool.hpp"

namespace vellory::player {
namespace {

using namespace std::chrono_literals;
using std::chrono::microseconds;

constexpr const char* fileLine =
    "[vellory-player] progressive file → stereo AudioQueue @ 48000 Hz\n";

// The decoder's counting frames (see tests/tools/fake-decoder.cpp), first `size` bytes.
std::vector<std::uint8_t> countingFrames(std::size_t size) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t frame = 0; bytes.size() < size; ++frame) {
    const auto left = static_cast<std::uint16_t>(static_cast<int>(frame & 0xFFFF) - 32768);
    const auto right = static_cast<std::uint16_t>((frame >> 16) + 1);
    for (auto byte : {left & 0xFF, left >> 8, right & 0xFF, right >> 8}) {
      bytes.push_back(static_cast<std::uint8_t>(byte));
    }
  }
  bytes.resize(size);
  return bytes;
}

// Sets or unsets an environment variable for its lifetime.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  }
  ~ScopedVariable() { saved_ ? setenv(name_, saved_->c_str(), 1) : unsetenv(name_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

class StreamPlayerFlow : public ::testing::Test {
 protected:
  struct Result {
    int status = -1;
    std::string out;
    std::string err;
  };

  // Runs the tool with a decoder that follows `script`.
  Result run(const std::vector<std::string>& args) {
    decoder_ = nullptr;
    stopped_ = false;
    // Each wait may play buffers of the fake queue, as time passing would.
    clock_.setHook([this](microseconds duration) {
      ++waits_;
      if (atWait) atWait(waits_);
      if (auto core = output_.last(); core && duration >= 85ms) {
        played_ += core->playAll(static_cast<std::size_t>(duration / 85ms));
      }
      letTheDecoderGetOn();
    });
    const StreamPlayerPlatform platform{
        output_,
        clock_,
        [this](std::function<void()> onStop) { onStop_ = std::move(onStop); },
        [this](const std::string& searched) -> std::optional<std::string> {
          ++finds_;
          return searchForReal ? findFFmpeg(searched) : decoderPath;
        },
        [this](const std::string& program, const std::vector<std::string>& words) {
          launchedProgram_ = program;
          launchedArgs_ = words;
          auto scriptWords = script;
          scriptWords.push_back("--");
          scriptWords.insert(scriptWords.end(), words.begin(), words.end());
          auto child = ChildProcess::launch(launchPath, scriptWords);
          decoderPid_ = child->pid();
          decoder_ = child.get();
          return child;
        },
        [this] { return home; },
        systemCAFile};
    StringSink out;
    StringSink err;
    Result result;
    result.status = runStreamPlayer(args, platform, {out, err});
    result.out = out.text();
    result.err = err.text();
    return result;
  }

  // As the signal-handling thread would.
  void stopFromAnotherThread() {
    stopped_ = true;
    std::thread([this] { onStop_(); }).join();
  }

  // The decoder is a real process, and its readers real threads: fake time passes in no time, so
  // each wait gives them up to 2 ms of real time to get on with it, over once the decoder has
  // ended and the reader has taken all it wrote. The waits come while the flow holds the decoder.
  void letTheDecoderGetOn() {
    if (decoder_ == nullptr || stopped_) return;
    const auto until = std::chrono::steady_clock::now() + 2ms;
    decoder_->waitForExit(2ms);
    int unread = 0;
    while (ioctl(decoder_->outputFd(), FIONREAD, &unread) == 0 && unread > 0 &&
           std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
    }
  }

  std::vector<testing::QueuedCopy> audioQueued() const {
    std::vector<testing::QueuedCopy> audio;
    for (const auto& copy : output_.last()->queuedHistory()) {
      if (std::any_of(copy.bytes.begin(), copy.bytes.end(),
                      [](std::byte b) { return b != std::byte{0}; })) {
        audio.push_back(copy);
      }
    }
    return audio;
  }

  std::vector<std::uint8_t> audioBytes() const {
    std::vector<std::uint8_t> bytes;
    for (const auto& copy : audioQueued()) {
      const auto* data = reinterpret_cast<const std::uint8_t*>(copy.bytes.data());
      bytes.insert(bytes.end(), data, data + copy.bytes.size());
    }
    return bytes;
  }

  std::vector<std::string> script;
  std::optional<std::string> decoderPath = "/opt/decoders/ffmpeg";
  std::string launchPath = VELLORY_FAKE_DECODER;
  bool searchForReal = false;  // the real decoder search in `home`, not `decoderPath`
  std::string home = "/home/listener";
  std::optional<std::string> systemCAFile;
  std::function<void(int wait)> atWait;

  testing::FakeAudioOutput output_;
  testing::FakeClock clock_;
  ChildProcess* decoder_ = nullptr;
  bool stopped_ = false;
  std::function<void()> onStop_;
  int waits_ = 0;
  std::size_t played_ = 0;
  int finds_ = 0;
  std::string launchedProgram_;
  std::vector<std::string> launchedArgs_;
  pid_t decoderPid_ = 0;
};

TEST_F(StreamPlayerFlow, CommandLineAndSourceProblemsFailBeforeAnythingStarts) {
  const std::string usage =
      "[vellory-player] Usage: vellory-player --url <https://…> | --file <absolute-path>\n";
  const std::string notHttps = "[vellory-player] Stream URL must be https://…\n";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  for (const auto& [args, err] :
       {Case{{}, usage}, Case{{"--url"}, usage}, Case{{"--file"}, usage},
        Case{{"--URL", "https://x"}, usage}, Case{{"--url", "http://example.com/a.mp3"}, notHttps},
        Case{{"--url", "ftp://x", "--file", "/ok.mp3"}, notHttps},
        Case{{"--file", "music/a.mp3"},
             "[vellory-player] Local player paths must be absolute.\n"}}) {
    const auto result = run(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, err);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(finds_, 0);  // the decoder is not even looked for
  EXPECT_EQ(output_.newOutputCalls(), 0u);
}

TEST_F(StreamPlayerFlow, MissingOrUnlaunchableDecoder) {
  decoderPath.reset();
  auto result = run({"--file", "/a.mp3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[vellory-player] ffmpeg not found for player decode.\n");

  decoderPath = "/opt/decoders/ffmpeg";
  launchPath = "/nonexistent/ffmpeg";
  result = run({"--file", "/a.mp3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "[vellory-player] Could not launch /nonexistent/ffmpeg: No such file or directory.\n");
  EXPECT_EQ(output_.newOutputCalls(), 0u);

  // A long path is cut; the reason stays.
  launchPath = "/nonexistent";
  for (int i = 0; i < 30; ++i) launchPath += "/abcdefghi";
  result = run({"--file", "/a.mp3"});
  EXPECT_EQ(result.err, "[vellory-player] Could not launch " + launchPath.substr(0, 199) +
                            "\u2026: No such file or directory.\n");
}

// The bundled decoder is looked for in the home directory that the platform gives, which on macOS
// comes from the account, not from HOME.
TEST_F(StreamPlayerFlow, TheBundledDecoderIsLookedForInThePlatformsHome) {
  for (const char* earlier : {"/opt/homebrew/bin/ffmpeg", "/usr/local/bin/ffmpeg"}) {
    if (isExecutableFile(earlier)) GTEST_SKIP() << earlier << " comes first";
  }
  char directory[] = "/tmp/vellory-home-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  home = directory;
  const std::string bundled = home + "/Vellory/Runtime/ffmpeg";
  std::filesystem::create_directories(home + "/Vellory/Runtime");
  std::filesystem::create_symlink(VELLORY_FAKE_DECODER, bundled);
  const ScopedVariable noVariable("VELLORY_FFMPEG", std::nullopt);
  const ScopedVariable otherHome("HOME", "/nonexistent/home");
  searchForReal = true;
  script = {"out:40000"};
  const auto result = run({"--file", "/a.mp3"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(launchedProgram_, bundled);
  std::filesystem::remove_all(home);
}

// The decoder is told to verify the server: against the variable's CA file when it names one,
// else against the platform's bundle (absent: the decoder's own trust). Files are unaffected.
TEST_F(StreamPlayerFlow, AStreamIsVerifiedAgainstTheVariablesCAFileOrThePlatformsBundle) {
  script = {"out:40000"};
  systemCAFile = "/etc/ssl/cert.pem";
  {
    const ScopedVariable unset("VELLORY_TLS_CA_FILE", std::nullopt);
    run({"--url", "https://example.com/a.mp3"});
    EXPECT_EQ(launchedArgs_, decoderArguments("https://example.com/a.mp3", true,
                                              std::string("/etc/ssl/cert.pem")));
  }
  {
    const ScopedVariable empty("VELLORY_TLS_CA_FILE", "");
    run({"--url", "https://example.com/a.mp3"});
    EXPECT_EQ(launchedArgs_, decoderArguments("https://example.com/a.mp3", true,
                                              std::string("/etc/ssl/cert.pem")));
  }
  const ScopedVariable own("VELLORY_TLS_CA_FILE", "/srv/test-ca.pem");
  run({"--url", "https://example.com/a.mp3"});
  EXPECT_EQ(launchedArgs_,
            decoderArguments("https://example.com/a.mp3", true, std::string("/srv/test-ca.pem")));
  run({"--file", "/a.mp3"});
  EXPECT_EQ(launchedArgs_, decoderArguments("/a.mp3", false, std::nullopt));
}

TEST_F(StreamPlayerFlow, PlaysEveryDecodedFrameInOrderAndThePlayOutBeforeItEnds) {
  // Writes that end inside frames, and a pause in between.
  script = {"out:100001", "sleep:30", "out:99999"};
  const auto result = run({"--url", "HTTPS://Example.com/Live", "--file", "/ignored.mp3"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "[vellory-player] progressive url → stereo AudioQueue @ 48000 Hz\n");
  EXPECT_EQ(launchedProgram_, "/opt/decoders/ffmpeg");
  EXPECT_EQ(launchedArgs_, decoderArguments("HTTPS://Example.com/Live", true, std::nullopt));
  EXPECT_EQ(audioBytes(), countingFrames(200000));
  for (const auto& copy : audioQueued()) EXPECT_EQ(copy.bytes.size() % 4, 0u);

  // The queue was told to play out and every queued buffer was played before the stop.
  const auto calls = output_.last()->calls();
  const auto playout = std::find(calls.begin(), calls.end(), "stop playout");
  const auto immediate = std::find(calls.begin(), calls.end(), "stop immediate");
  EXPECT_LT(playout, immediate);
  EXPECT_EQ(played_, output_.last()->queuedHistory().size());
}

TEST_F(StreamPlayerFlow, ASourceShorterThanTheStartThresholdStillPlays) {
  script = {"out:8000"};
  const auto result = run({"--file", "/short.wav"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, fileLine);
  EXPECT_EQ(audioBytes(), countingFrames(8000));
}

TEST_F(StreamPlayerFlow, DecoderStatusesDecideAfterPlaying) {
  struct Case {
    std::vector<std::string> script;
    int status;
    std::string message;
  };
  for (const auto& [steps, status, message] :
       {Case{{"out:40000", "exit:2"}, 0, ""}, Case{{"out:40000", "exit:15"}, 0, ""},
        Case{{"out:40000", "exit:1"}, 1, "[vellory-player] ffmpeg exited with status 1.\n"},
        Case{{"out:40000", "say:  Connection reset by peer \n", "exit:1"},
             1,
             "[vellory-player] Connection reset by peer\n"},
        Case{{"out:40000", "hex:ff", "say:", "exit:255"},
             1,
             "[vellory-player] ffmpeg exited with status 255.\n"}}) {
    script = steps;
    const auto result = run({"--file", "/a.mp3"});
    EXPECT_EQ(result.status, status) << steps.back();
    EXPECT_EQ(result.err, fileLine + message) << steps.back();
  }
}

// The decoder exits 0 when a stream it could not resume ended short; its last line says so.
TEST_F(StreamPlayerFlow, AStreamThatEndedShortIsAFailureDespiteStatus0) {
  const std::string early = "[https @ 0x1] Stream ends prematurely at 659534, should be 1536078";
  const std::string failed = "https://example.com/a.wav: Input/output error";
  script = {"out:40000", "say:" + early, "say:" + failed, "exit:0"};
  auto result = run({"--url", "https://example.com/a.wav"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, std::string("[vellory-player] progressive url → stereo AudioQueue @ 48000 "
                                    "Hz\n[vellory-player] ") +
                            failed + "\n");

  // Resumed: the early end was made good, and the decoder said nothing after it.
  script = {"out:40000", "say:" + early, "out:40000", "exit:0"};
  result = run({"--url", "https://example.com/a.wav"});
  EXPECT_EQ(result.status, 0);
}

// The decoder skips a playlist's segment that is not on https and goes on with the next one:
// playback ends at once, and the run fails.
TEST_F(StreamPlayerFlow, APartRefusedForLeavingHttpsEndsPlaybackAndFails) {
  const std::string refusal =
      "say:[http @ 0x1] Protocol 'http' not on whitelist 'https,tls,tcp,crypto'!";
  script = {"out:40000", "sleep:300", refusal, "out:4000000", "exit:0"};
  auto result = run({"--url", "https://example.com/list.m3u8"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "[vellory-player] progressive url → stereo AudioQueue @ 48000 Hz\n[vellory-player] "
            "Part of the stream was not served over https, so it was not played.\n");
  EXPECT_EQ(output_.last()->count("stop immediate"), 1u);
  EXPECT_LT(audioBytes().size(), 2000000u);

  // Refused before anything played: a redirect to plain http, as the decoder words it.
  script = {"say:Option ca_file not found.", "exit:1"};
  result = run({"--url", "https://example.com/a.mp3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "[vellory-player] Part of the stream was not served over https, so it was not "
            "played.\n");

  // A file's decoder is not held to https.
  script = {"out:40000", refusal, "exit:0"};
  result = run({"--file", "/music/list.m3u8"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, fileLine);
}

TEST_F(StreamPlayerFlow, InvalidUtf8OnStandardErrorCountsAsEmpty) {
  script = {"out:40000", "say:\xC3\x28", "exit:3"};
  const auto result = run({"--file", "/a.mp3"});
  EXPECT_EQ(result.err, std::string(fileLine) + "[vellory-player] ffmpeg exited with status 3.\n");
}

TEST_F(StreamPlayerFlow, NoAudioFailsWithTheDecodersMessage) {
  struct Case {
    std::vector<std::string> script;
    std::string message;
  };
  for (const auto& [steps, message] :
       {Case{{"say:/music/missing.mp3: No such file or directory", "exit:1"},
             "[vellory-player] /music/missing.mp3: No such file or directory\n"},
        Case{{"exit:0"}, "[vellory-player] Stream produced no audio.\n"},
        // Nothing for 10 s while the decoder keeps running: it is terminated.
        Case{{"hold"}, "[vellory-player] Stream produced no audio.\n"}}) {
    script = steps;
    const auto result = run({"--file", "/music/missing.mp3"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, message);
    EXPECT_EQ(output_.newOutputCalls(), 0u);
  }
}

// The decoder is never held up by a full error pipe, and its many lines become one bounded line.
TEST_F(StreamPlayerFlow, ALargeErrorOutputEndsAsOneBoundedLine) {
  script = {"err:2000000", "out:40000", "say:the end", "exit:1"};
  const auto result = run({"--file", "/a.mp3"});
  EXPECT_EQ(result.status, 1);
  std::string shown;
  for (int i = 0; i < 3; ++i) shown += std::string(63, 'e') + " ";
  shown += std::string(199 - shown.size(), 'e') + "\u2026";
  EXPECT_EQ(result.err, std::string(fileLine) + "[vellory-player] " + shown + "\n");
}

TEST_F(StreamPlayerFlow, ADecoderMessageSpanningLinesIsShownOnOne) {
  script = {"say:/music/a", "say:b.mp3: No such file or directory", "exit:1"};
  const auto result = run({"--file", "/music/a\nb.mp3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "[vellory-player] /music/a b.mp3: No such file or directory\n");
}

TEST_F(StreamPlayerFlow, StopDuringTheLaunchWaitStartsNothing) {
  script = {"out:100000"};
  atWait = [this](int wait) {
    if (wait == 1) stopFromAnotherThread();
  };
  const auto result = run({"--file", "/a.mp3"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(decoderPid_, 0);
  EXPECT_EQ(output_.newOutputCalls(), 0u);
}

TEST_F(StreamPlayerFlow, StopWhileBufferingEndsTheDecoderAndStartsNoAudio) {
  script = {"hold"};
  atWait = [this](int wait) {
    if (wait == 3) stopFromAnotherThread();
  };
  const auto result = run({"--url", "https://example.com/slow"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_NE(decoderPid_, 0);
  EXPECT_EQ(output_.newOutputCalls(), 0u);
}

TEST_F(StreamPlayerFlow, StopWhilePlayingEndsWithStatus0WhateverTheDecoderSays) {
  // The decoder ignores SIGTERM: it is killed 2 s later, and its status does not count.
  script = {"ignore-term", "out:1000000", "hold"};
  atWait = [this](int) {
    if (played_ >= 3 && onStop_) {
      stopFromAnotherThread();
      onStop_ = [] {};
    }
  };
  const auto started = std::chrono::steady_clock::now();
  const auto result = run({"--url", "https://example.com/live"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "[vellory-player] progressive url → stereo AudioQueue @ 48000 Hz\n");
  EXPECT_EQ(output_.last()->count("stop immediate"), 1u);
  EXPECT_EQ(output_.last()->count("stop playout"), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  errno = 0;
  EXPECT_EQ(::kill(decoderPid_, 0), -1);
}

TEST_F(StreamPlayerFlow, StopAfterTheDecoderFailedByItselfStillReportsTheFailure) {
  script = {"out:400000", "say:stream broke off", "exit:1"};
  atWait = [this](int) {
    if (played_ >= 3 && onStop_) {
      // Only once the decoder has ended by itself.
      const auto deadline = std::chrono::steady_clock::now() + 5s;
      while (::kill(decoderPid_, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(decoderPid_), &info, WEXITED | WNOHANG | WNOWAIT) ==
                0 &&
            info.si_pid == decoderPid_) {
          break;
        }
        std::this_thread::sleep_for(5ms);
      }
      stopFromAnotherThread();
      onStop_ = [] {};
    }
  };
  const auto result = run({"--file", "/a.mp3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, std::string(fileLine) + "[vellory-player] stream broke off\n");
}

}  // namespace
}  // namespace vellory::player
