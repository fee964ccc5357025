#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "e2e/announcement/MonitorRecording.hpp"
#include "e2e/support/Recorder.hpp"
#include "e2e/support/SoundFixtures.hpp"
#include "platform/linux/PulseOutputQueue.hpp"

namespace vellory::e2e {
namespace {

using namespace std::chrono_literals;
using pulse::PulseAudioOutput;

constexpr std::uint32_t bufferBytes = 16384;  // 4096 frames of stereo 16-bit

AudioStreamBasicDescription stereo16() {
  return {48000, formatLinearPCM, formatFlagIsSignedInteger | formatFlagIsPacked, 4, 1, 4, 2, 16,
          0};
}

// Feeds a 440 Hz tone of a given length into the queue from its callback, then asks it to play
// out; or, when `endless`, never stops feeding.
struct ToneSource {
  std::int64_t framesLeft = 0;
  bool endless = false;
  double phase = 0;
  std::atomic<int> callbacks{0};
  std::atomic<int> callbacksInProgress{0};
  std::atomic<bool> callerThreadSeen{false};
  std::thread::id owner = std::this_thread::get_id();
  std::atomic<int> slowCallbacks{0};  // that many callbacks take 200 ms
  std::atomic<bool> slowCallbackDone{false};

  void fill(OutputQueue& queue, QueueBuffer* buffer) {
    const auto frames =
        static_cast<std::uint32_t>(endless ? 4096 : std::min<std::int64_t>(4096, framesLeft));
    if (frames == 0) {
      queue.stop(false);
      return;
    }
    auto* samples = static_cast<std::int16_t*>(buffer->audioData);
    for (std::uint32_t i = 0; i < frames; ++i) {
      const auto value = static_cast<std::int16_t>(16384 * std::sin(phase));
      phase += 2 * M_PI * 440 / 48000;
      samples[2 * i] = value;
      samples[2 * i + 1] = value;
    }
    framesLeft -= frames;
    buffer->audioDataByteSize = frames * 4;
    queue.enqueueBuffer(buffer);
  }

  static void callback(void* context, OutputQueue& queue, QueueBuffer* buffer) {
    auto* source = static_cast<ToneSource*>(context);
    ++source->callbacksInProgress;
    ++source->callbacks;
    if (std::this_thread::get_id() == source->owner) source->callerThreadSeen = true;
    if (source->slowCallbacks.fetch_sub(1) > 0) {
      std::this_thread::sleep_for(200ms);
      source->slowCallbackDone = true;
    }
    source->fill(queue, buffer);
    --source->callbacksInProgress;
  }
};

std::unique_ptr<OutputQueue> primedQueue(ToneSource& source, int buffers = 4) {
  PulseAudioOutput output;
  std::unique_ptr<OutputQueue> queue;
  EXPECT_EQ(output.newOutput(stereo16(), ToneSource::callback, &source, queue), 0);
  if (!queue) return nullptr;
  for (int i = 0; i < buffers; ++i) {
    QueueBuffer* buffer = nullptr;
    EXPECT_EQ(queue->allocateBuffer(bufferBytes, buffer), 0);
    source.fill(*queue, buffer);
  }
  return queue;
}

// Seconds of the left channel above a small level.
double soundingSeconds(const Recording& recording) {
  std::size_t first = 0;
  std::size_t last = 0;
  bool any = false;
  const auto& samples = recording.channels.at(0);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (std::fabs(samples[i]) > 0.05f) {
      if (!any) first = i;
      last = i;
      any = true;
    }
  }
  return any ? static_cast<double>(last - first) / recording.sampleRate : 0;
}

TEST(PulseOutputQueue, PlaysOutWhatIsQueuedBeforeItStopsRunning) {
  TempDir dir;
  auto speakers = recordMonitor("speakers", dir.file("speakers.wav"));
  ToneSource source;
  source.framesLeft = 48000;
  auto queue = primedQueue(source);
  ASSERT_TRUE(queue);
  EXPECT_FALSE(queue->isRunning());
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(queue->start(), 0);
  ASSERT_TRUE(waitUntil([&] { return !queue->isRunning(); }, 5s));
  const auto ran = std::chrono::steady_clock::now() - started;
  queue->dispose();
  const Recording heard = speakers->finish();

  EXPECT_GE(ran, 950ms);
  EXPECT_LT(ran, 1600ms);
  EXPECT_NEAR(soundingSeconds(heard), 1.0, 0.02);
  EXPECT_FALSE(source.callerThreadSeen);
  EXPECT_GE(source.callbacks, 12);  // 4 primed + 8 refills of 4096 frames, the rest sent back
}

// Hands out a byte stream in pieces that split frames, as a pipe reader would.
struct ByteStream {
  std::vector<std::byte> bytes;
  std::size_t offset = 0;
  std::size_t piece = 10001;

  static void callback(void* context, OutputQueue& queue, QueueBuffer* buffer) {
    auto* stream = static_cast<ByteStream*>(context);
    const std::size_t count = std::min(stream->piece, stream->bytes.size() - stream->offset);
    if (count == 0) {
      queue.stop(false);
      return;
    }
    std::memcpy(buffer->audioData, stream->bytes.data() + stream->offset, count);
    stream->offset += count;
    buffer->audioDataByteSize = static_cast<std::uint32_t>(count);
    queue.enqueueBuffer(buffer);
  }
};

TEST(PulseOutputQueue, PiecesThatSplitFramesPlayAsOneSeamlessStream) {
  TempDir dir;
  auto speakers = recordMonitor("speakers", dir.file("speakers.wav"));
  ByteStream stream;
  std::vector<std::int16_t> samples;
  for (int i = 0; i < 48000; ++i) {
    const auto value = static_cast<std::int16_t>(16384 * std::sin(2 * M_PI * 440 * i / 48000));
    samples.push_back(value);
    samples.push_back(value);
  }
  stream.bytes.resize(samples.size() * 2);
  std::memcpy(stream.bytes.data(), samples.data(), stream.bytes.size());

  PulseAudioOutput output;
  std::unique_ptr<OutputQueue> queue;
  ASSERT_EQ(output.newOutput(stereo16(), ByteStream::callback, &stream, queue), 0);
  for (int i = 0; i < 4; ++i) {
    QueueBuffer* buffer = nullptr;
    ASSERT_EQ(queue->allocateBuffer(bufferBytes, buffer), 0);
    ByteStream::callback(&stream, *queue, buffer);
  }
  ASSERT_EQ(queue->start(), 0);
  ASSERT_TRUE(waitUntil([&] { return !queue->isRunning(); }, 5s));
  queue->dispose();
  const Recording heard = speakers->finish();
  EXPECT_NEAR(soundingSeconds(heard), 1.0, 0.02);
  // A frame torn apart would turn into a click far above the tone's own steps. The server
  // itself may drop the very first samples of a stream: the first 5 ms do not count.
  const auto& left = heard.channels.at(0);
  std::size_t onset = 0;
  while (onset < left.size() && std::fabs(left[onset]) <= 0.05f) ++onset;
  double largestStep = 0;
  for (std::size_t i = onset + 240; i < left.size(); ++i) {
    largestStep = std::max(largestStep, static_cast<double>(std::fabs(left[i] - left[i - 1])));
  }
  EXPECT_LT(largestStep, 0.05);  // a 440 Hz sine of 0.5 moves at most 0.029 per sample
}

TEST(PulseOutputQueue, ImmediateStopSilencesAndNoCallbackFollowsDispose) {
  ToneSource source;
  source.endless = true;
  auto queue = primedQueue(source);
  ASSERT_TRUE(queue);
  ASSERT_EQ(queue->start(), 0);
  ASSERT_TRUE(waitUntil([&] { return source.callbacks > 8; }, 5s));
  EXPECT_EQ(queue->stop(true), 0);
  EXPECT_FALSE(queue->isRunning());
  queue->dispose();
  const int after = source.callbacks;
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(source.callbacks, after);
  EXPECT_NE(queue->enqueueBuffer(nullptr), 0);
  queue->dispose();  // twice is fine
}

TEST(PulseOutputQueue, DisposeWaitsForACallbackInProgress) {
  ToneSource source;
  source.endless = true;
  auto queue = primedQueue(source);
  ASSERT_TRUE(queue);
  ASSERT_EQ(queue->start(), 0);
  // Callbacks may begin before `start` returns; the slow one is one that comes after it.
  source.slowCallbacks = 1;
  ASSERT_TRUE(waitUntil([&] { return source.callbacksInProgress > 0; }, 5s));
  queue->dispose();
  EXPECT_TRUE(source.slowCallbackDone);
  EXPECT_EQ(source.callbacksInProgress, 0);
}

TEST(PulseOutputQueue, PlaysOnTheChosenDeviceAndRefusesUnknownOnes) {
  TempDir dir;
  auto speakers = recordMonitor("speakers", dir.file("speakers.wav"));
  auto feed = recordMonitor("micfeed_stereo", dir.file("feed.wav"));
  ToneSource source;
  source.framesLeft = 24000;
  auto queue = primedQueue(source);
  ASSERT_TRUE(queue);
  EXPECT_EQ(queue->setCurrentDevice("no_such_sink"), status::badObject);
  EXPECT_EQ(queue->setCurrentDevice("micfeed_stereo"), 0);
  ASSERT_EQ(queue->start(), 0);
  ASSERT_TRUE(waitUntil([&] { return !queue->isRunning(); }, 5s));
  queue->dispose();
  EXPECT_NEAR(soundingSeconds(feed->finish()), 0.5, 0.02);
  EXPECT_EQ(soundingSeconds(speakers->finish()), 0.0);
}

TEST(PulseOutputQueue, RefusesFormatsItCannotPlayAndAMissingServer) {
  PulseAudioOutput output;
  std::unique_ptr<OutputQueue> queue;
  AudioStreamBasicDescription format = stereo16();
  format.mBitsPerChannel = 12;
  EXPECT_EQ(output.newOutput(format, ToneSource::callback, nullptr, queue),
            static_cast<OSStatus>(fourCharCode("fmt?")));
  format = stereo16();
  format.mFormatFlags |= 32;  // not interleaved
  EXPECT_EQ(output.newOutput(format, ToneSource::callback, nullptr, queue),
            static_cast<OSStatus>(fourCharCode("fmt?")));
  EXPECT_FALSE(queue);

  const std::string server = getenv("PULSE_SERVER") ? getenv("PULSE_SERVER") : "";
  setenv("PULSE_SERVER", "unix:/nonexistent/native", 1);
  EXPECT_EQ(output.newOutput(stereo16(), ToneSource::callback, nullptr, queue), status::notRunning);
  if (server.empty()) {
    unsetenv("PULSE_SERVER");
  } else {
    setenv("PULSE_SERVER", server.c_str(), 1);
  }
}

}  // namespace
}  // namespace vellory::e2e
