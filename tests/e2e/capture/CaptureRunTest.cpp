#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "e2e/support/IgnoringParent.hpp"
#include "e2e/support/Recorder.hpp"
#include "e2e/support/RestartableSoundServer.hpp"
#include "e2e/support/SoundFixtures.hpp"
#include "platform/linux/CapturePlan.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;

const std::string tool = program("vellory-process-tap");
const std::string captureUID = "com.vellory.application-capture";

// The capture tool running in the background, with its run report once printed. Ended with
// SIGTERM when the test is over, so a failing test leaves nothing on the server either.
struct CaptureRun {
  std::unique_ptr<BackgroundProcess> process;
  nlohmann::json report;

  CaptureRun() = default;
  CaptureRun(CaptureRun&&) = default;
  ~CaptureRun() {
    if (!process) return;
    process->signal(SIGTERM);
    process->wait(3s);
  }
};

CaptureRun startRun(const std::vector<std::string>& items, bool ignoringParent = false) {
  std::vector<std::string> argv{tool, "run"};
  argv.insert(argv.end(), items.begin(), items.end());
  if (ignoringParent) argv = underIgnoringParent(argv);
  CaptureRun run;
  run.process = std::make_unique<BackgroundProcess>(argv);
  const bool printed = waitUntil(
      [&] {
        const std::string out = run.process->outputSoFar();
        if (out.empty() || out.back() != '\n') return false;
        run.report = nlohmann::json::parse(out, nullptr, false);
        return !run.report.is_discarded();
      },
      10s);
  EXPECT_TRUE(printed) << run.process->errorsSoFar();
  return run;
}

bool hasSource(const std::string& name) {
  for (const auto& source : pactlJson({"list", "sources"})) {
    if (source["name"] == name) return true;
  }
  return false;
}

std::vector<std::string> ourSinks() {
  std::vector<std::string> names;
  for (const auto& sink : pactlJson({"list", "sinks"})) {
    if (sink["properties"].contains("vellory.role")) names.push_back(sink["name"]);
  }
  return names;
}

// Name of the sink a process's playback stream is on, or "" when it has none.
std::string sinkOfProcess(pid_t pid) {
  std::map<std::uint64_t, std::string> sinkNames;
  for (const auto& sink : pactlJson({"list", "sinks"})) {
    sinkNames[sink["index"].get<std::uint64_t>()] = sink["name"];
  }
  for (const auto& stream : pactlJson({"list", "sink-inputs"})) {
    const auto& properties = stream["properties"];
    if (properties.value("application.process.id", "") == std::to_string(pid)) {
      return sinkNames[stream["sink"].get<std::uint64_t>()];
    }
  }
  return "";
}

// The positions a host names when it records the device with parecord: the device's own, in
// the order the run report lays its channels out.
std::string deviceMap(int channels) {
  return pulse::presentedChannelMap(static_cast<unsigned>(channels),
                                    serverKind() == "pulseaudio"
                                        ? pulse::PresentedPositions::waveExtensible
                                        : pulse::PresentedPositions::named);
}

// Checks that each channel of the last second carries exactly its expected tone (0: silence)
// and none of the others above `others`.
void expectTonesOnChannels(const Recording& recorded, const std::vector<double>& expected,
                           const std::string& label, double others = 0.01) {
  ASSERT_EQ(recorded.channels.size(), expected.size()) << label;
  ASSERT_GE(recorded.frames(), static_cast<std::size_t>(recorded.sampleRate / 2))
      << label << ": no audio for seconds after connecting";
  std::set<double> tones{440.0, 660.0, 1000.0};
  tones.insert(expected.begin(), expected.end());
  tones.erase(0);
  for (std::size_t c = 0; c < expected.size(); ++c) {
    const auto tail = recorded.tail(c, 1.0);
    for (const double frequency : tones) {
      const double amplitude = toneAmplitude(tail, recorded.sampleRate, frequency);
      if (frequency == expected[c]) {
        EXPECT_GT(amplitude, 0.2) << label << ": channel " << c << " lacks " << frequency << " Hz";
      } else {
        EXPECT_LT(amplitude, others)
            << label << ": channel " << c << " carries " << frequency << " Hz";
      }
    }
    if (expected[c] == 0) {
      EXPECT_LT(peak(tail), 0.001) << label << ": channel " << c << " is not silent";
    }
  }
}

// ffmpeg's pulse input recording the device for 3 s, asking for `channels` and nothing else, as
// a user types it.
std::vector<std::string> ffmpegRecording(int channels, const std::string& path) {
  return {"ffmpeg",    "-nostdin",     "-loglevel", "error",     "-f",
          "pulse",     "-sample_rate", "48000",     "-channels", std::to_string(channels),
          "-i",        captureUID,     "-t",        "3",         "-c:a",
          "pcm_f32le", "-y",           path};
}

// pw-record recording the device until stopped, as the capture notes tell a user to run it: its
// own layouts for 4 and 8 channels (quadraphonic, 7.1) are not the device's, so there it names
// the device's positions.
std::vector<std::string> pwRecording(int channels, const std::string& path) {
  std::vector<std::string> argv{"pw-record",
                                "--target",
                                captureUID,
                                "--rate",
                                "48000",
                                "--channels",
                                std::to_string(channels),
                                "--format",
                                "f32"};
  if (channels == 4) argv.insert(argv.end(), {"--channel-map", "FL,FR,FC,LFE"});
  if (channels == 8) argv.insert(argv.end(), {"--channel-map", "FL,FR,FC,LFE,RL,RR,FLC,FRC"});
  argv.push_back(path);
  return argv;
}

// Seconds of audio a `parecord` of the capture device holds `window` after it connected; its raw
// 16-bit samples go to `path`. It asks for its audio in 100 ms fragments: left to its default,
// PipeWire hands a pulse recorder its audio 2 s at a time, from any source.
double secondsRecordedOver(std::chrono::seconds window, int channels, const std::string& path) {
  BackgroundProcess recorder({"parecord", "-v", "--raw", "--device=" + captureUID, "--rate=48000",
                              "--latency-msec=100", "--channels=" + std::to_string(channels),
                              "--channel-map=" + deviceMap(channels), path});
  const bool connected = waitUntil(
      [&] {
        return recorder.errorsSoFar().find("Stream successfully created") != std::string::npos;
      },
      5s);
  EXPECT_TRUE(connected) << recorder.errorsSoFar();
  std::this_thread::sleep_for(window);
  const auto bytes = std::filesystem::file_size(path);
  recorder.signal(SIGTERM);
  recorder.wait(3s);
  return static_cast<double>(bytes) / (2.0 * channels * 48000);
}

class CaptureRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    makeTone(dir.file("440.wav"), 440, 12);
    makeTone(dir.file("660.wav"), 660, 12);
    makeTone(dir.file("1000.wav"), 1000, 12, 1);
    makeTone(dir.file("880.wav"), 880, 12);
  }
  void TearDown() override {
    EXPECT_TRUE(ourSinks().empty()) << "left behind: " << ourSinks().front();
  }
  // Two applications ("com.acme.alpha" at 440 Hz, "org.beta" at 660 Hz) and the microphone feed
  // (1 kHz) playing for `seconds`, as they do around a host's captures.
  struct Playing {
    std::unique_ptr<BackgroundProcess> alpha;
    std::unique_ptr<BackgroundProcess> beta;
    std::unique_ptr<BackgroundProcess> mic;
  };
  Playing playThroughout(double seconds) {
    makeTone(dir.file("440-long.wav"), 440, seconds);
    makeTone(dir.file("660-long.wav"), 660, seconds);
    makeTone(dir.file("1000-long.wav"), 1000, seconds, 1);
    return Playing{playAsApplication("com.acme.alpha", dir.file("440-long.wav")),
                   playAsApplication("org.beta", dir.file("660-long.wav")),
                   std::make_unique<BackgroundProcess>(std::vector<std::string>{
                       "paplay", "--device=micfeed_mono", dir.file("1000-long.wav")})};
  }

  TempDir dir;
};

TEST_F(CaptureRunTest, EachSourceLandsOnExactlyItsChannelsAndTappedAppsAreMuted) {
  auto safari = playAsApplication("com.apple.Safari", dir.file("440.wav"));
  auto vlc = playAsApplication("org.videolan.vlc", dir.file("660.wav"));
  BackgroundProcess mic({"paplay", "--device=micfeed_mono", dir.file("1000.wav")});
  ASSERT_TRUE(waitUntil([&] { return sinkOfProcess(vlc->pid()) == "speakers"; }, 5s));

  auto run = startRun({"--live-input-name", " Mono Microphone ", "com.apple.Safari",
                       "org.videolan.vlc", "com.apple.Music"});
  const auto& report = run.report;
  ASSERT_EQ(report["liveInputChannels"], 2);
  ASSERT_EQ(report["applicationChannels"], 4);
  ASSERT_EQ(report["announcementChannels"], 2);
  ASSERT_EQ(report["channels"], 8);
  EXPECT_EQ(report["liveInputName"], " Mono Microphone ");
  EXPECT_EQ(report["liveInputUID"], "mic_mono");
  EXPECT_EQ(report["slots"][0]["processes"][0]["pid"], safari->pid());
  EXPECT_NE(run.process->errorsSoFar().find(
                "[process-tap] Padding 1ch live ' Mono Microphone ' to 2ch with silent mono tap."),
            std::string::npos);
  ASSERT_TRUE(hasSource(captureUID));

  Recorder capture(captureUID, dir.file("capture.wav"), 8, deviceMap(8));
  Recorder speakers("speakers.monitor", dir.file("speakers.wav"), 2);
  std::this_thread::sleep_for(3s);
  const Recording recorded = capture.finish();
  const Recording normal = speakers.finish();
  ASSERT_EQ(recorded.channels.size(), 8u);

  expectTonesOnChannels(recorded, {1000, 0, 440, 440, 660, 660, 0, 0}, "capture");
  EXPECT_LT(peak(normal.tail(0, 1.0)), 0.001) << "tapped audio still reaches the speakers";

  run.process->signal(SIGTERM);
  const auto ended = run.process->wait(3s);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->status, 0);
  EXPECT_FALSE(hasSource(captureUID));
  EXPECT_EQ(sinkOfProcess(safari->pid()), "speakers");
  EXPECT_EQ(sinkOfProcess(vlc->pid()), "speakers");
}

// What a user's own recorder makes of the device: ffmpeg's pulse input and, on PipeWire,
// pw-record, asking for the device's channel count as the capture notes say, get every channel
// in its place; ffmpeg asking for stereo gets a mix of it. Each application plays a tone of its
// own on each side, so a swapped pair shows too. The default slots with a live input make ten
// channels, the last of which PipeWire silences for ffmpeg (it asks for an aux position there):
// a parecord naming the device's positions records that layout.
TEST_F(CaptureRunTest, EverydayRecordersGetEveryChannelInItsPlace) {
  makeChannelTones(dir.file("alpha.wav"), {440, 550}, 20);
  makeChannelTones(dir.file("beta.wav"), {660, 770}, 20);
  makeChannelTones(dir.file("gamma.wav"), {880, 1210}, 20);
  makeTone(dir.file("1000-long.wav"), 1000, 20, 1);
  auto alpha = playAsApplication("com.acme.alpha", dir.file("alpha.wav"));
  auto beta = playAsApplication("org.beta", dir.file("beta.wav"));
  auto gamma = playAsApplication("org.gamma", dir.file("gamma.wav"));
  BackgroundProcess mic({"paplay", "--device=micfeed_mono", dir.file("1000-long.wav")});
  ASSERT_TRUE(waitUntil([&] { return sinkOfProcess(gamma->pid()) == "speakers"; }, 5s));

  const bool pipewire = serverKind() != "pulseaudio";
  const std::vector<std::string> live{"--live-input-name", "Mono Microphone"};
  struct Layout {
    std::string label;
    std::vector<std::string> items;
    std::vector<double> expected;
  };
  const std::vector<Layout> layouts{
      {"without a live input", {"com.acme.alpha", "org.beta"}, {440, 550, 660, 770}},
      {"with a live input",
       {live[0], live[1], "com.acme.alpha", "org.beta"},
       {1000, 0, 440, 550, 660, 770}},
      {"ten channels",
       {live[0], live[1], "com.acme.alpha", "org.beta", "com.nobody", "org.gamma"},
       {1000, 0, 440, 550, 660, 770, 0, 0, 880, 1210}}};
  for (const Layout& layout : layouts) {
    const std::string& label = layout.label;
    auto run = startRun(layout.items);
    const int channels = run.report["channels"];
    ASSERT_EQ(channels, static_cast<int>(layout.expected.size())) << label;
    const bool ffmpegHasAll = channels < 10 || !pipewire;
    BackgroundProcess ffmpeg(ffmpegRecording(channels, dir.file("ffmpeg.wav")));
    BackgroundProcess stereo(ffmpegRecording(2, dir.file("stereo.wav")));
    std::unique_ptr<BackgroundProcess> pwRecord;
    if (pipewire) {
      pwRecord =
          std::make_unique<BackgroundProcess>(pwRecording(channels, dir.file("pw-record.wav")));
    }
    std::unique_ptr<Recorder> parecord;
    if (channels >= 10) {
      parecord = std::make_unique<Recorder>(captureUID, dir.file("parecord.wav"), channels,
                                            deviceMap(channels));
    }
    for (BackgroundProcess* recorder : {&ffmpeg, &stereo}) {
      const auto ended = recorder->wait(10s);
      ASSERT_TRUE(ended) << label;
      EXPECT_EQ(ended->status, 0) << label << ": " << ended->err;
    }
    // A recorder that loses a block while both cores are busy spreads a little of every tone
    // over the others; a tone on the wrong channel is ten times that.
    const double glitches = 0.05;
    if (ffmpegHasAll) {
      expectTonesOnChannels(readRecording(dir.file("ffmpeg.wav")), layout.expected,
                            label + ", ffmpeg", glitches);
    }
    if (pwRecord) {
      pwRecord->signal(SIGINT);
      ASSERT_TRUE(pwRecord->wait(5s)) << label;
      expectTonesOnChannels(readRecording(dir.file("pw-record.wav")), layout.expected,
                            label + ", pw-record", glitches);
    }
    if (parecord) {
      expectTonesOnChannels(parecord->finish(), layout.expected, label + ", parecord", glitches);
    }
    const Recording mix = readRecording(dir.file("stereo.wav"));
    ASSERT_EQ(mix.channels.size(), 2u) << label;
    for (std::size_t side = 0; side < 2; ++side) {
      double loudest = 0;
      for (const double tone : layout.expected) {
        if (tone != 0) loudest = std::max(loudest, toneAmplitude(mix.tail(side, 1.0), 48000, tone));
      }
      EXPECT_GT(loudest, 0.02) << label << ": the stereo mix is silent on side " << side;
    }

    run.process->signal(SIGTERM);
    const auto ended = run.process->wait(3s);
    ASSERT_TRUE(ended) << label;
    EXPECT_EQ(ended->status, 0) << label;
    run.process.reset();
  }
}

// What a host does all day: the same applications and microphone keep playing, nobody else
// records, and the capture is started, read right after its report, and stopped, again and
// again on the same server. Every other run takes a microphone that is itself a loopback inside
// the server, as echo-cancel and filter-chain sources are, which PipeWire can stop for good when
// the graph around it changes.
TEST_F(CaptureRunTest, BackToBackRunsEachDeliverEveryChannel) {
  const Playing playing = playThroughout(40);
  const auto& alpha = playing.alpha;
  const auto& beta = playing.beta;
  ASSERT_TRUE(waitUntil([&] { return sinkOfProcess(beta->pid()) == "speakers"; }, 5s));

  for (int round = 1; round <= 5; ++round) {
    const std::string microphone = round % 2 ? "Mono Microphone" : "Remap Microphone";
    const std::string label = "run " + std::to_string(round) + " with " + microphone;
    auto run = startRun({"--live-input-name", microphone, "com.acme.alpha", "org.beta"});
    ASSERT_EQ(run.report["channels"], 6) << label;
    Recorder capture(captureUID, dir.file("capture.wav"), 6, deviceMap(6));
    std::this_thread::sleep_for(3s);
    expectTonesOnChannels(capture.finish(), {1000, 0, 440, 440, 660, 660}, label);

    run.process->signal(SIGTERM);
    const auto ended = run.process->wait(3s);
    ASSERT_TRUE(ended) << label;
    EXPECT_EQ(ended->status, 0) << label;
    run.process.reset();
    EXPECT_FALSE(hasSource(captureUID)) << label;
    EXPECT_TRUE(ourSinks().empty()) << label;
    EXPECT_EQ(sinkOfProcess(alpha->pid()), "speakers") << label;
    EXPECT_EQ(sinkOfProcess(beta->pid()), "speakers") << label;
    if (HasFailure()) return;
  }
}

// The host's own sequence: start the run, read its report and open a plain recorder on the
// device right away, while the applications play and nobody else records. The recorder has the
// audio from the moment it connected, without a live input, with a device's microphone and
// with one that is a loopback inside the server.
TEST_F(CaptureRunTest, ARecorderOpenedRightAfterTheReportHasAudioFromThenOn) {
  const Playing playing = playThroughout(40);
  ASSERT_TRUE(waitUntil([&] { return sinkOfProcess(playing.beta->pid()) == "speakers"; }, 5s));

  for (const std::string microphone : {"", "Mono Microphone", "Remap Microphone"}) {
    const std::string label = microphone.empty() ? "without a live input" : "with " + microphone;
    std::vector<std::string> items{"com.acme.alpha", "org.beta"};
    if (!microphone.empty()) items.insert(items.begin(), {"--live-input-name", microphone});
    auto run = startRun(items);
    const int channels = run.report["channels"];
    // A recorder that joined late lost 2 s; a busy machine delays what it writes by some tenths.
    EXPECT_GE(secondsRecordedOver(4s, channels, dir.file("capture.raw")), 3.5) << label;

    run.process->signal(SIGTERM);
    const auto ended = run.process->wait(3s);
    ASSERT_TRUE(ended) << label;
    EXPECT_EQ(ended->status, 0) << label;
    run.process.reset();
  }
}

// A desktop user restarting the sound server: the capture says it is lost, comes back by itself
// with the same layout once the server answers, and still ends cleanly.
TEST_F(CaptureRunTest, CaptureComesBackAfterTheServerRestarts) {
  RestartableSoundServer server;
  const UsingServer using_(server.environment());
  makeTone(dir.file("440-long.wav"), 440, 30);
  makeTone(dir.file("660-long.wav"), 660, 30);
  makeTone(dir.file("1000-long.wav"), 1000, 30, 1);
  auto run = startRun({"--live-input-name", "Mono Microphone", "com.acme.alpha", "org.beta"});
  ASSERT_EQ(run.report["channels"], 6);
  const auto said = [&](const std::string& text) {
    return run.process->errorsSoFar().find(text) != std::string::npos;
  };

  server.kill();
  EXPECT_TRUE(waitUntil([&] { return said("Lost the sound server"); }, 3s));
  server.start();
  const auto back = std::chrono::steady_clock::now();
  ASSERT_TRUE(
      waitUntil([&] { return said("the capture device is back") && hasSource(captureUID); }, 3s))
      << run.process->errorsSoFar();
  EXPECT_LE(std::chrono::steady_clock::now() - back, 3s);

  // Applications die with their server; the ones that start again are picked up.
  auto alpha = playAsApplication("com.acme.alpha", dir.file("440-long.wav"));
  auto beta = playAsApplication("org.beta", dir.file("660-long.wav"));
  BackgroundProcess mic({"paplay", "--device=micfeed_mono", dir.file("1000-long.wav")});
  ASSERT_TRUE(waitUntil(
      [&] {
        return sinkOfProcess(alpha->pid()).find("vellory.capture.") == 0 &&
               sinkOfProcess(beta->pid()).find("vellory.capture.") == 0;
      },
      3s));
  Recorder capture(captureUID, dir.file("capture.wav"), 6, deviceMap(6));
  std::this_thread::sleep_for(3s);
  expectTonesOnChannels(capture.finish(), {1000, 0, 440, 440, 660, 660}, "after the restart");

  run.process->signal(SIGTERM);
  const auto ended = run.process->wait(3s);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->status, 0);
  run.process.reset();
  EXPECT_FALSE(hasSource(captureUID));
  EXPECT_EQ(sinkOfProcess(alpha->pid()), "speakers");
}

// A host that gives up while the capture is still being built: whenever the stop comes, the
// tool ends with 0, leaves nothing and the applications play on their own output again.
TEST_F(CaptureRunTest, StopAtAnyMomentOfStartUpLeavesNothing) {
  auto alpha = playAsApplication("com.acme.alpha", dir.file("440.wav"));
  BackgroundProcess mic({"paplay", "--device=micfeed_mono", dir.file("1000.wav")});
  ASSERT_TRUE(waitUntil([&] { return sinkOfProcess(alpha->pid()) == "speakers"; }, 5s));
  const std::vector<std::string> args{
      tool, "run", "--live-input-name", "Mono Microphone", "com.acme.alpha", "org.beta"};
  const auto started = std::chrono::steady_clock::now();
  { startRun({args.begin() + 2, args.end()}); }
  const auto startUp = std::chrono::steady_clock::now() - started;
  RecordProperty("startUpMs", static_cast<int>(startUp / 1ms));

  // A signal before the program has reached its first line ends it by its default action, with
  // nothing built yet. How long that takes depends on the build (a sanitizer's start-up is
  // slower): a usage error, which ends the program at its first line, measures it.
  const auto probeStarted = std::chrono::steady_clock::now();
  BackgroundProcess probe({tool, "no-such-command"});
  ASSERT_TRUE(probe.wait(5s));
  const auto firstLine = std::max<std::chrono::steady_clock::duration>(
      30ms, std::chrono::steady_clock::now() - probeStarted);
  for (int moment = 0; moment < 10; ++moment) {
    const auto delay = firstLine + startUp * moment / 10;
    const std::string label = "stop after " + std::to_string(delay.count() / 1000000) + " ms";
    BackgroundProcess run(args);
    std::this_thread::sleep_for(delay);
    run.signal(SIGTERM);
    const auto ended = run.wait(3s);
    ASSERT_TRUE(ended) << label;
    // With both cores busy the early moments can still come before the handlers stand: then
    // the default action ends the program, before it has said or built anything. From half the
    // start-up on the handlers stand.
    const bool beforeHandlers = moment < 5 && ended->status == 128 + SIGTERM && ended->err.empty();
    if (!beforeHandlers) {
      EXPECT_EQ(ended->status, 0) << label << ": " << ended->err;
    }
    EXPECT_FALSE(hasSource(captureUID)) << label;
    EXPECT_TRUE(ourSinks().empty()) << label;
    EXPECT_TRUE(waitUntil([&] { return sinkOfProcess(alpha->pid()) == "speakers"; }, 2s)) << label;
  }
}

TEST_F(CaptureRunTest, ApplicationStartedLaterIsCapturedWithinTwoSeconds) {
  auto run = startRun({"com.apple.Safari", "org.videolan.vlc", "com.apple.Music"});
  ASSERT_EQ(run.report["channels"], 6);
  EXPECT_TRUE(run.report["slots"][1]["processes"].empty());
  Recorder capture(captureUID, dir.file("capture.wav"), 6, deviceMap(6));
  std::this_thread::sleep_for(500ms);

  auto vlc = playAsApplication("org.videolan.vlc", dir.file("880.wav"));
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(
      waitUntil([&] { return sinkOfProcess(vlc->pid()).find("vellory.capture.") == 0; }, 2s));
  EXPECT_LE(std::chrono::steady_clock::now() - started, 2s);
  std::this_thread::sleep_for(1500ms);
  const Recording recorded = capture.finish();
  EXPECT_GT(toneAmplitude(recorded.tail(2, 0.5), recorded.sampleRate, 880), 0.2);
  EXPECT_GT(toneAmplitude(recorded.tail(3, 0.5), recorded.sampleRate, 880), 0.2);
  EXPECT_LT(peak(recorded.tail(0, 0.5)), 0.001);
  EXPECT_LT(peak(recorded.tail(4, 0.5)), 0.001);

  vlc.reset();
  run.process->signal(SIGINT);
  const auto ended = run.process->wait(3s);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->status, 0);
  EXPECT_EQ(ended->out.find("}\n{"), std::string::npos) << "the report was printed twice";
}

TEST_F(CaptureRunTest, AStreamTwoSlotsTakePlaysIntoTheEarlierSlotOnly) {
  auto safari = playAsApplication("com.apple.Safari", dir.file("440.wav"));
  ASSERT_TRUE(waitUntil([&] { return sinkOfProcess(safari->pid()) == "speakers"; }, 5s));
  auto run = startRun({"com.apple", "com.apple.Safari", "com.apple.Music"});
  ASSERT_EQ(run.report["slots"][0]["processes"].size(), 1u);
  ASSERT_EQ(run.report["slots"][1]["processes"].size(), 1u);
  Recorder capture(captureUID, dir.file("capture.wav"), 6, deviceMap(6));
  const std::string first = sinkOfProcess(safari->pid());
  EXPECT_EQ(first.find("vellory.capture."), 0u) << first;
  // It stays put across refresh ticks instead of moving between the two taps.
  for (int i = 0; i < 5; ++i) {
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(sinkOfProcess(safari->pid()), first);
  }
  const Recording recorded = capture.finish();
  EXPECT_GT(toneAmplitude(recorded.tail(0, 0.5), recorded.sampleRate, 440), 0.2);
  EXPECT_LT(peak(recorded.tail(2, 0.5)), 0.001);
}

TEST_F(CaptureRunTest, RunAfterAKilledRunStartsClean) {
  auto safari = playAsApplication("com.apple.Safari", dir.file("440.wav"));
  ASSERT_TRUE(waitUntil([&] { return sinkOfProcess(safari->pid()) == "speakers"; }, 5s));
  auto first = startRun({"com.apple.Safari", "com.apple.Music"});
  ASSERT_TRUE(
      waitUntil([&] { return sinkOfProcess(safari->pid()).find("vellory.capture.") == 0; }, 3s));
  first.process->signal(SIGKILL);
  ASSERT_TRUE(first.process->wait(3s));
  EXPECT_FALSE(ourSinks().empty());

  auto second = startRun({"org.videolan.vlc"});
  ASSERT_EQ(second.report["channels"], 2);
  const std::string killedPrefix =
      std::string(".").append(std::to_string(first.process->pid())) + ".";
  for (const auto& sink : ourSinks()) {
    EXPECT_EQ(sink.find(killedPrefix), std::string::npos) << sink << " outlived its run";
  }
  EXPECT_EQ(sinkOfProcess(safari->pid()), "speakers");
  second.process->signal(SIGTERM);
  const auto ended = second.process->wait(3s);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->status, 0);
}

TEST_F(CaptureRunTest, SignalsIgnoredByTheParentStillEndTheRunWithStatus0) {
  for (const int signalNumber : {SIGINT, SIGTERM}) {
    auto run = startRun({"com.apple.Safari"}, true);
    ASSERT_TRUE(hasSource(captureUID));
    EXPECT_FALSE(ignoresStopSignals(run.process->pid()));
    run.process->signal(signalNumber);
    const auto ended = run.process->wait(3s);
    ASSERT_TRUE(ended) << "signal " << signalNumber << " did not end the run";
    EXPECT_EQ(ended->status, 0) << ended->err;
    EXPECT_FALSE(hasSource(captureUID));
  }
}

}  // namespace
}  // namespace vellory::e2e
