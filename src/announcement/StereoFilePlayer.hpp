#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "announcement/FadeRamps.hpp"
#include "shared/AudioFileReader.hpp"
#include "shared/AudioHardware.hpp"
#include "shared/Clock.hpp"
#include "shared/OutputQueue.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::announcement {

inline constexpr const char* statisticsLogPath = "/tmp/kandimer-player-stereo.log";
inline constexpr const char* messagePrefix = "[announcement-player] ";

// The platform a player works against.
struct PlayerPlatform {
  AudioHardware& hardware;
  AudioOutput& output;
  AudioFileReader& files;
  Clock& clock;
};

// Plays one audio file from its first frame to its last as interleaved stereo float at the
// file's own rate, with a software gain that fades in and out in 20 steps.
//
// Threads: the owner builds it, plays it, fades it out and polls it; the queue's thread refills
// buffers; any thread may stop it. The flags and the gain are atomics; one mutex guards only the
// taking out of the queue and file handles, so that exactly one stop releases them, the queue
// before the file.
class StereoFilePlayer {
 public:
  static constexpr std::int64_t bufferCount = 3;
  static constexpr std::uint32_t bufferFrames = 4096;
  static constexpr int fadeSteps = 20;

  // Opens the file, creates the queue on the preferred output, reads the first three buffers and
  // writes the statistics and format lines to `err`. Owner thread. Throws PlayerError (playback).
  StereoFilePlayer(const std::string& path, PlayerPlatform platform, OutputSink& err,
                   std::string logPath = statisticsLogPath);
  ~StereoFilePlayer();
  StereoFilePlayer(const StereoFilePlayer&) = delete;
  StereoFilePlayer& operator=(const StereoFilePlayer&) = delete;

  // Owner thread. Queues the primed audio, starts the queue and runs the fade-in; returns when
  // the fade-in is over or within 0.1 s of a stop. The fade-in follows the frames' position, so
  // the primed audio rises from silence too. Returns quietly when already stopped. Throws
  // PlayerError (playback) when the queue refuses the audio or the start.
  void play(double fadeInSeconds);

  // Owner thread. Lowers the gain from where it is to 0 in 20 steps over `seconds`; returns
  // when done or within 0.1 s of a stop. Never fails. The fade starts with the next frames
  // filled and is heard to its end: when the file ends first, it reaches silence at the file's
  // last frame.
  void fadeOut(double seconds);

  // Any thread, any number of times. Silences the queue at once and releases it, then the file.
  void stop();

  // Any thread. True from `play` until the end of the file has been heard, a refill failed, or
  // the player was stopped.
  bool isPlaying();

  // Any thread. Why playback ended before the end of the file, when no stop asked it to: the
  // queue refused a buffer or stopped running by itself (the sound server went away), or the
  // file could not be read further. Empty otherwise; the first reason is kept.
  std::string failure() const;

  double duration() const { return durationSeconds_; }
  float volume() const { return volume_.load(std::memory_order_relaxed); }
  const AudioStreamBasicDescription& clientFormat() const { return clientFormat_; }

  // Puts a new queue on the output device a stereo announcement suits best and writes the
  // outcome line to `err`. Never fails: without a choice the queue stays on the default output.
  static void preferOutputDevice(OutputQueue& queue, AudioHardware& hardware, OutputSink& err);

 private:
  struct Primed {
    QueueBuffer* buffer;
    std::uint32_t frames;
    std::int64_t position;
  };

  static void renderCallback(void* context, OutputQueue& queue, QueueBuffer* buffer);
  // Reads the next frames into the buffer and applies the gain; `frames` is 0 at the end of the
  // file. Gives the reader's status.
  OSStatus load(QueueBuffer* buffer, bool applyGain, std::uint32_t& frames);
  void applyGain(float* samples, std::uint32_t frames, std::int64_t position);
  void refill(OutputQueue& queue, QueueBuffer* buffer);
  void playOut(OutputQueue& queue);
  // Ends playback for `reason` unless a stop came first.
  void fail(std::string reason);
  void logFirstBuffer(const float* samples, std::uint32_t frames);
  // Sleeps on the clock; false as soon as the player is stopped (within 0.1 s).
  bool sleepUnlessStopped(std::chrono::microseconds duration);

  PlayerPlatform platform_;
  OutputSink& err_;
  std::string logPath_;

  std::mutex handles_;
  std::unique_ptr<AudioFile> audioFile_;
  std::unique_ptr<OutputQueue> queue_;

  std::atomic<bool> isStopped_{false};
  std::atomic<bool> playing_{false};
  std::atomic<bool> didLogBufferStats_{false};
  std::atomic<bool> endOfFile_{false};
  std::atomic<bool> playOutRequested_{false};
  std::atomic<float> volume_{1.0f};
  double durationSeconds_ = 0;
  std::int64_t fileFrames_ = 0;
  AudioStreamBasicDescription clientFormat_{};

  // Frames read so far; written only by the filling thread (the owner while priming, then the
  // queue's thread).
  std::atomic<std::int64_t> filledFrames_{0};
  std::vector<Primed> primed_;
  mutable std::mutex failureMutex_;
  std::string failure_;
  // Set by the owner's fades, read once per fill.
  std::mutex rampsMutex_;
  FadeRamps ramps_;
};

}  // namespace vellory::announcement
