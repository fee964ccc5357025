#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "e2e/announcement/MonitorRecording.hpp"
#include "e2e/support/IgnoringParent.hpp"
#include "e2e/support/Recorder.hpp"
#include "e2e/support/SoundFixtures.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string tool = program("vellory-announcement-player");
const std::string prefix = "[announcement-player] ";
const std::string usageLine =
    prefix + "Usage: vellory-announcement-player --file <absolute.wav> [--source-slot N]\n";
constexpr double toneRMS = 0.5 / 1.4142135623730951;  // a sine of amplitude 0.5

// RMS of the left channel in consecutive windows of 10 ms.
struct Envelope {
  static constexpr double window = 0.01;
  std::vector<double> levels;

  explicit Envelope(const Recording& recording) {
    const auto& samples = recording.channels.at(0);
    const auto size = static_cast<std::size_t>(recording.sampleRate * window);
    for (std::size_t start = 0; start + size <= samples.size(); start += size) {
      levels.push_back(rms({samples.begin() + static_cast<std::ptrdiff_t>(start),
                            samples.begin() + static_cast<std::ptrdiff_t>(start + size)}));
    }
  }
  // Index of the first and last window above `threshold`, or -1.
  int first(double threshold) const {
    for (std::size_t i = 0; i < levels.size(); ++i) {
      if (levels[i] > threshold) return static_cast<int>(i);
    }
    return -1;
  }
  int last(double threshold) const {
    for (std::size_t i = levels.size(); i-- > 0;) {
      if (levels[i] > threshold) return static_cast<int>(i);
    }
    return -1;
  }
  // Mean level over [from, to) seconds counted from window `origin`.
  double mean(int origin, double from, double to) const {
    const auto begin = static_cast<std::size_t>(origin + static_cast<int>(from / window));
    const auto end =
        std::min(levels.size(), static_cast<std::size_t>(origin + static_cast<int>(to / window)));
    double sum = 0;
    for (std::size_t i = begin; i < end; ++i) sum += levels[i];
    return end > begin ? sum / static_cast<double>(end - begin) : 0;
  }
};

// Samples of one channel between two times in seconds.
std::vector<float> slice(const Recording& recording, std::size_t channel, double from, double to) {
  const auto& samples = recording.channels.at(channel);
  const auto begin =
      std::min(samples.size(), static_cast<std::size_t>(from * recording.sampleRate));
  const auto end = std::min(samples.size(), static_cast<std::size_t>(to * recording.sampleRate));
  return {samples.begin() + static_cast<std::ptrdiff_t>(begin),
          samples.begin() + static_cast<std::ptrdiff_t>(end)};
}

void concatenate(const std::vector<std::string>& parts, const std::string& path) {
  std::vector<std::string> argv{"sox"};
  argv.insert(argv.end(), parts.begin(), parts.end());
  argv.push_back(path);
  const auto result = runCommand(argv);
  ASSERT_EQ(result.status, 0) << result.err;
}

// Encodes `source` with one of ffmpeg's audio encoders.
void encode(const std::string& source, const std::string& codec, const std::string& path) {
  const auto result = runCommand(
      {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", source, "-c:a", codec, path});
  ASSERT_EQ(result.status, 0) << result.err;
}

// The environment under which the reads of `file` fail once `readable` bytes have been read.
std::map<std::string, std::string> failingReads(const std::string& file, long long readable) {
  // Preloaded ahead of a sanitizer's runtime, which AddressSanitizer refuses unless told.
  const char* asanOptions = std::getenv("ASAN_OPTIONS");
  return {
      {"LD_PRELOAD", VELLORY_FAILING_READ},
      {"VELLORY_FAIL_READ_PATH", file},
      {"VELLORY_FAIL_READ_AFTER", std::to_string(readable)},
      {"ASAN_OPTIONS", std::string(asanOptions ? asanOptions : "") + ":verify_asan_link_order=0"}};
}

long long fileSize(const std::string& path) {
  struct stat fileStatus {};
  EXPECT_EQ(::stat(path.c_str(), &fileStatus), 0);
  return static_cast<long long>(fileStatus.st_size);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Makes another sink the default for the length of a test.
class DefaultSink {
 public:
  explicit DefaultSink(const std::string& name) { pactl({"set-default-sink", name}); }
  ~DefaultSink() { pactl({"set-default-sink", "speakers"}); }
};

TEST(AnnouncementPlayer, PlaysTheWholeFileOnTheStereoSpeakersWhenTheDefaultIsSurround) {
  TempDir dir;
  makeTone(dir.file("body.wav"), 440, 0.85);
  makeTone(dir.file("end.wav"), 880, 0.15);
  concatenate({dir.file("body.wav"), dir.file("end.wav")}, dir.file("tone.wav"));
  DefaultSink surround("surround");
  auto speakers = recordMonitor("speakers", dir.file("speakers.wav"));
  auto other = recordMonitor("surround", dir.file("surround.wav"));

  const auto result = runCommand({tool, "--file", dir.file("tone.wav")}, 15s);
  const Recording heard = speakers->finish();
  const Recording elsewhere = other->finish();

  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(prefix + "Using output device "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(" (Speakers)\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(prefix + "first buffer Lmax=0.5"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(prefix + "AudioQueue stereo 2ch interleaved @ 48000 Hz\n"),
            std::string::npos);
  const std::string log = readFile("/tmp/kandimer-player-stereo.log");
  EXPECT_EQ(log.rfind(prefix + "first buffer ", 0), 0u) << log;
  EXPECT_NE(result.err.find(log), std::string::npos);

  const Envelope envelope(heard);
  const int onset = envelope.first(0.05);
  const int end = envelope.last(0.05);
  ASSERT_GE(onset, 0) << "nothing heard on the speakers";
  EXPECT_NEAR((end - onset + 1) * Envelope::window, 1.0, 0.03);
  // The last 100 ms of the file, the 880 Hz part, are heard at full level.
  const double endSeconds = (end + 1) * Envelope::window;
  const auto tail = slice(heard, 0, endSeconds - 0.115, endSeconds - 0.015);
  EXPECT_NEAR(toneAmplitude(tail, 48000, 880), 0.5, 0.05);
  EXPECT_NEAR(toneAmplitude(slice(heard, 1, endSeconds - 0.115, endSeconds - 0.015), 48000, 880),
              0.5, 0.05);
  EXPECT_LT(peak(elsewhere.channels.at(0)), 0.01) << "the surround output played too";
}

TEST(AnnouncementPlayer, FadeInRisesFromSilenceOverItsLength) {
  TempDir dir;
  makeTone(dir.file("tone.wav"), 440, 2.0);
  auto speakers = recordMonitor("speakers", dir.file("speakers.wav"));
  const auto result = runCommand({tool, "--file", dir.file("tone.wav"), "--fade-in-ms", "1000"});
  const Envelope envelope(speakers->finish());
  ASSERT_EQ(result.status, 0) << result.err;

  // The first step is silent; the level first shows at 1/20 of full, 50 ms in.
  const int onset = envelope.first(0.01);
  ASSERT_GE(onset, 0);
  EXPECT_LT(envelope.levels[static_cast<std::size_t>(onset)], 0.15 * toneRMS);
  // No burst at full level from the audio queued before the start.
  for (int i = onset; i < onset + 40; ++i) {
    EXPECT_LT(envelope.levels[static_cast<std::size_t>(i)], 0.55 * toneRMS) << i - onset;
  }
  // It rises step by step: 0.1 s windows of the fade each louder than the one before.
  double previous = 0;
  for (double at = 0.0; at < 0.9; at += 0.1) {
    const double level = envelope.mean(onset, at, at + 0.1);
    EXPECT_GT(level, previous) << "at " << at;
    EXPECT_NEAR(level, toneRMS * (at + 0.1), 0.08 * toneRMS) << "at " << at;
    previous = level;
  }
  EXPECT_NEAR(envelope.mean(onset, 1.0, 1.8), toneRMS, 0.05 * toneRMS);
}

TEST(AnnouncementPlayer, FadeOutFallsToSilenceByTheEnd) {
  TempDir dir;
  makeTone(dir.file("tone.wav"), 440, 3.0);
  auto speakers = recordMonitor("speakers", dir.file("speakers.wav"));
  const auto result = runCommand({tool, "--file", dir.file("tone.wav"), "--fade-out-ms", "1000"});
  const Envelope envelope(speakers->finish());
  ASSERT_EQ(result.status, 0) << result.err;

  const int onset = envelope.first(0.05);
  ASSERT_GE(onset, 0);
  EXPECT_NEAR(envelope.mean(onset, 0.1, 1.9), toneRMS, 0.05 * toneRMS);
  double previous = toneRMS * 1.05;
  for (double at = 2.0; at < 2.9; at += 0.1) {
    const double level = envelope.mean(onset, at, at + 0.1);
    EXPECT_LE(level, previous) << "at " << at;
    previous = level;
  }
  EXPECT_LT(envelope.mean(onset, 2.4, 2.5), 0.9 * toneRMS);
  // The 20th step, at 1/20 of the level, ends with the file.
  EXPECT_LT(envelope.mean(onset, 2.9, 3.0), 0.15 * toneRMS);
  EXPECT_LT(envelope.mean(onset, 2.97, 3.0), 0.08 * toneRMS);
  // Nothing after the file's end.
  EXPECT_LE(envelope.last(0.01), onset + 300);
}

TEST(AnnouncementPlayer, SigtermStopsTheSoundAtOnceWithStatusZero) {
  TempDir dir;
  makeTone(dir.file("tone.wav"), 440, 10.0);
  auto speakers = recordMonitor("speakers", dir.file("speakers.wav"));
  BackgroundProcess player({tool, "--file", dir.file("tone.wav")});
  // Playback starts 1.1 s after the format line; the signal comes 1 s into it.
  Clock::time_point built{};
  const auto deadline = Clock::now() + 10s;
  while (player.errorsSoFar().find("interleaved @ ") == std::string::npos) {
    ASSERT_LT(Clock::now(), deadline) << player.errorsSoFar();
    std::this_thread::sleep_for(1ms);
  }
  built = Clock::now();
  std::this_thread::sleep_for(1100ms + 1000ms);
  const auto signalled = Clock::now();
  player.signal(SIGTERM);
  const auto result = player.wait(5s);
  const auto ended = Clock::now();
  const Envelope envelope(speakers->finish());

  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 0);
  EXPECT_EQ(result->err.find("[announcement-player]", result->err.find("interleaved @ ")),
            std::string::npos)
      << result->err;
  EXPECT_LT(ended - signalled, 1s);
  const int onset = envelope.first(0.05);
  const int end = envelope.last(0.05);
  ASSERT_GE(onset, 0);
  const double heard = (end - onset + 1) * Envelope::window;
  const double playedUntilSignal = std::chrono::duration<double>(signalled - built).count() - 1.1;
  EXPECT_LT(heard, playedUntilSignal + 0.1);
  EXPECT_GT(heard, playedUntilSignal - 0.3);
}

TEST(AnnouncementPlayer, SignalsIgnoredByTheParentStillStopItWithStatusZero) {
  TempDir dir;
  makeTone(dir.file("tone.wav"), 440, 10.0);
  for (const int signalNumber : {SIGINT, SIGTERM}) {
    BackgroundProcess player(underIgnoringParent({tool, "--file", dir.file("tone.wav")}));
    ASSERT_TRUE(waitUntil(
        [&] { return player.errorsSoFar().find("interleaved @ ") != std::string::npos; }, 10s))
        << player.errorsSoFar();
    std::this_thread::sleep_for(1100ms + 500ms);  // playing
    EXPECT_FALSE(ignoresStopSignals(player.pid()));
    player.signal(signalNumber);
    const auto result = player.wait(3s);
    ASSERT_TRUE(result) << "signal " << signalNumber << " did not stop the player";
    EXPECT_EQ(result->status, 0) << result->err;
  }
}

TEST(AnnouncementPlayer, ReadFailurePartWayStopsWithOneLineAndStatusOne) {
  TempDir dir;
  const std::string file = dir.file("tone.wav");
  makeTone(file, 440, 6.0);
  // The reads fail once the header and the first 2 s of frames (stereo float) have been read.
  const long long readable = fileSize(file) - 4 * 48000 * 8;
  auto speakers = recordMonitor("speakers", dir.file("speakers.wav"));
  const auto started = Clock::now();
  const auto result = runCommand({tool, "--file", file}, 15s, failingReads(file, readable));
  const auto ended = Clock::now();
  const Envelope envelope(speakers->finish());

  EXPECT_EQ(result.status, 1) << result.err;
  const std::string formatLine = prefix + "AudioQueue stereo 2ch interleaved @ 48000 Hz\n";
  const auto afterFormat = result.err.find(formatLine);
  ASSERT_NE(afterFormat, std::string::npos) << result.err;
  EXPECT_EQ(
      result.err.substr(afterFormat + formatLine.size()),
      prefix + "Unable to read the audio file further (System error : Input/output error).\n");
  // It ends with the reads, not when the file's 6 s would have played.
  EXPECT_LT(ended - started, 1100ms + 4s);
  const int onset = envelope.first(0.05);
  ASSERT_GE(onset, 0) << "nothing heard";
  const double heard = (envelope.last(0.05) - onset + 1) * Envelope::window;
  EXPECT_GT(heard, 1.5);
  EXPECT_LT(heard, 2.1);
}

TEST(AnnouncementPlayer, ReadFailureWhilePrimingGivesTheReadersWordsAndStatusOne) {
  TempDir dir;
  const std::string file = dir.file("tone.wav");
  makeTone(file, 440, 1.0);
  // Only the header can be read.
  const auto result =
      runCommand({tool, "--file", file}, 15s, failingReads(file, fileSize(file) - 48000 * 8));
  EXPECT_EQ(result.status, 1) << result.err;
  const std::string line =
      prefix + "ExtAudioFileRead failed (System error : Input/output error).\n";
  ASSERT_GE(result.err.size(), line.size());
  EXPECT_EQ(result.err.substr(result.err.size() - line.size()), line) << result.err;

  // FFmpeg's words for an .m4a whose first AAC frames are garbage.
  encode(file, "aac", dir.file("tone.m4a"));
  std::fstream m4a(dir.file("tone.m4a"), std::ios::in | std::ios::out | std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(m4a)), std::istreambuf_iterator<char>());
  const auto media = bytes.find("mdat");
  ASSERT_NE(media, std::string::npos);
  m4a.seekp(static_cast<std::streamoff>(media + 20));
  for (int k = 0; k < 3000; ++k) m4a.put(static_cast<char>(k * 151 + 7));
  m4a.close();
  const auto garbled = runCommand({tool, "--file", dir.file("tone.m4a")}, 15s);
  EXPECT_EQ(garbled.status, 1) << garbled.err;
  const std::string words =
      prefix + "ExtAudioFileRead failed (Invalid data found when processing input).\n";
  EXPECT_NE(garbled.err.find(words), std::string::npos) << garbled.err;
}

TEST(AnnouncementPlayer, AacAndAppleLosslessM4aPlayAtTheirLevelOnBothChannels) {
  TempDir dir;
  makeTone(dir.file("tone.wav"), 440, 1.0);
  for (const std::string codec : {"aac", "alac"}) {
    const std::string file = dir.file(codec + ".m4a");
    encode(dir.file("tone.wav"), codec, file);
    auto speakers = recordMonitor("speakers", dir.file(codec + "-speakers.wav"));
    const auto result = runCommand({tool, "--file", file}, 15s);
    const Recording heard = speakers->finish();
    ASSERT_EQ(result.status, 0) << codec << ": " << result.err;
    EXPECT_NE(result.err.find(prefix + "AudioQueue stereo 2ch interleaved @ 48000 Hz\n"),
              std::string::npos)
        << result.err;
    const Envelope envelope(heard);
    const int onset = envelope.first(0.05);
    ASSERT_GE(onset, 0) << codec << ": nothing heard";
    EXPECT_NEAR((envelope.last(0.05) - onset + 1) * Envelope::window, 1.0, 0.03) << codec;
    const double middle = (onset + 30) * Envelope::window;
    for (std::size_t channel = 0; channel < 2; ++channel) {
      EXPECT_NEAR(toneAmplitude(slice(heard, channel, middle, middle + 0.5), 48000, 440), 0.5, 0.05)
          << codec << ", channel " << channel;
    }
  }
}

TEST(AnnouncementPlayer, FileNoReaderOpensFailsWithTheOpenLineAndStatusOne) {
  TempDir dir;
  std::ofstream(dir.file("notes.m4a")) << "These are notes, not audio.\n";
  // A playlist is not followed to the audio it names.
  makeTone(dir.file("tone.wav"), 440, 0.5);
  encode(dir.file("tone.wav"), "aac", dir.file("tone.aac"));
  std::ofstream(dir.file("list.m3u8")) << "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n"
                                       << dir.file("tone.aac") << "\n#EXT-X-ENDLIST\n";
  for (const std::string name : {"notes.m4a", "list.m3u8"}) {
    const auto result = runCommand({tool, "--file", dir.file(name)}, 10s);
    EXPECT_EQ(result.status, 1) << name;
    EXPECT_EQ(result.err, prefix + "Unable to open audio file (1954115647).\n") << name;
    EXPECT_EQ(result.out, "");
  }
}

TEST(AnnouncementPlayer, MonoFlacAt44100PlaysOnBothChannels) {
  TempDir dir;
  const auto made =
      runCommand({"sox", "-n", "-r", "44100", "-c", "1", "-b", "16", dir.file("tone.flac"), "synth",
                  "1.0", "sine", "440", "vol", "0.5"});
  ASSERT_EQ(made.status, 0) << made.err;
  auto speakers = recordMonitor("speakers", dir.file("speakers.wav"));
  const auto result = runCommand({tool, "--file", dir.file("tone.flac")});
  const Recording heard = speakers->finish();
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("@ 44100 Hz\n"), std::string::npos);
  const Envelope envelope(heard);
  const int onset = envelope.first(0.05);
  ASSERT_GE(onset, 0);
  const double middle = (onset + 50) * Envelope::window;
  for (std::size_t channel = 0; channel < 2; ++channel) {
    EXPECT_NEAR(toneAmplitude(slice(heard, channel, middle, middle + 0.3), 48000, 440), 0.5, 0.05);
  }
}

TEST(AnnouncementPlayer, EmptyFileEndsByItself) {
  TempDir dir;
  const auto made =
      runCommand({"sox", "-n", "-r", "48000", "-c", "2", dir.file("empty.wav"), "trim", "0", "0"});
  ASSERT_EQ(made.status, 0) << made.err;
  const auto started = Clock::now();
  const auto result = runCommand({tool, "--file", dir.file("empty.wav")}, 10s);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_LT(Clock::now() - started, 3s);
}

TEST(AnnouncementPlayer, MissingFileAndUnusableCommandLines) {
  auto result = runCommand({tool, "--file", "/nonexistent/announcement.wav"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, prefix + "Unable to open audio file (-43).\n");
  EXPECT_EQ(result.out, "");

  // A FIFO or a folder in the file's place fails at once instead of blocking.
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo.wav").c_str(), 0600), 0);
  for (const std::string& path : {dir.file("fifo.wav"), dir.path()}) {
    result = runCommand({tool, "--file", path}, 5s);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind(prefix + "Unable to open audio file (", 0), 0u) << result.err;
  }

  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"--file"}, {"--file", "relative.wav"}, {"--source-slot", "2"}}) {
    std::vector<std::string> argv{tool};
    argv.insert(argv.end(), args.begin(), args.end());
    result = runCommand(argv);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, usageLine);
  }
}

TEST(AnnouncementPlayer, BadFadeValuesAndUnknownWordsAreIgnored) {
  TempDir dir;
  makeTone(dir.file("tone.wav"), 440, 0.3);
  const auto result = runCommand({tool, "--source-slot", "3", "--file", dir.file("tone.wav"),
                                  "--fade-in-ms", "abc", "--fade-out-ms", "-300", "--extra"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace vellory::e2e
