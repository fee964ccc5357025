#include "announcement/StereoFilePlayer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "announcement/AtomicFile.hpp"
#include "announcement/BufferStatistics.hpp"
#include "announcement/OutputDevicePreference.hpp"
#include "announcement/PlayerError.hpp"
#include "announcement/Seconds.hpp"
#include "shared/ErrorLine.hpp"

namespace vellory::announcement {

namespace {

constexpr double fallbackSampleRate = 48000.0;
constexpr std::uint32_t bytesPerFrame = 2 * sizeof(float);
constexpr const char* outputStopped = "Audio output stopped before the announcement ended.";

std::string unreadableFurther(const std::string& readerText) {
  return "Unable to read the audio file further (" + boundedText(readerText) + ").";
}

AudioStreamBasicDescription stereoFloatFormat(double sampleRate) {
  return AudioStreamBasicDescription{sampleRate,
                                     formatLinearPCM,
                                     formatFlagIsFloat | formatFlagIsPacked,
                                     bytesPerFrame,
                                     1,
                                     bytesPerFrame,
                                     2,
                                     32,
                                     0};
}

// Frames in `seconds`, at least 1, held below a length that could overflow position arithmetic.
std::int64_t framesOf(double seconds, double rate) {
  const double frames = std::ceil(seconds * rate);
  if (!(frames < 1e15)) return static_cast<std::int64_t>(1e15);
  return std::max<std::int64_t>(1, static_cast<std::int64_t>(frames));
}

std::string wholeHertz(double rate) {
  if (rate < 9e18) return std::to_string(static_cast<long long>(rate));
  char text[400];
  std::snprintf(text, sizeof text, "%.0f", std::trunc(rate));
  return text;
}

}  // namespace

StereoFilePlayer::StereoFilePlayer(const std::string& path, PlayerPlatform platform,
                                   OutputSink& err, std::string logPath)
    : platform_(platform), err_(err), logPath_(std::move(logPath)) {
  OSStatus result = platform_.files.open(path, audioFile_);
  if (result != status::ok || !audioFile_) {
    throw PlayerError::playback("Unable to open audio file", result);
  }
  AudioStreamBasicDescription fileFormat{};
  if ((result = audioFile_->fileDataFormat(fileFormat)) != status::ok) {
    throw PlayerError::playback("Unable to read file format", result);
  }
  std::int64_t lengthFrames = 0;
  if ((result = audioFile_->fileLengthFrames(lengthFrames)) != status::ok) {
    throw PlayerError::playback("Unable to read file length", result);
  }
  const double rate = fileFormat.mSampleRate > 0 ? fileFormat.mSampleRate : fallbackSampleRate;
  durationSeconds_ = static_cast<double>(lengthFrames) / rate;
  fileFrames_ = lengthFrames;

  clientFormat_ = stereoFloatFormat(rate);
  if ((result = audioFile_->setClientDataFormat(clientFormat_)) != status::ok) {
    throw PlayerError::playback("Unable to set stereo client format", result);
  }
  result = platform_.output.newOutput(clientFormat_, renderCallback, this, queue_);
  if (result != status::ok || !queue_) {
    throw PlayerError::playback("Unable to create audio queue", result);
  }
  preferOutputDevice(*queue_, platform_.hardware, err_);

  const std::uint32_t bufferBytes = bufferFrames * clientFormat_.mBytesPerFrame;
  for (std::int64_t i = 0; i < bufferCount; ++i) {
    QueueBuffer* buffer = nullptr;
    result = queue_->allocateBuffer(bufferBytes, buffer);
    if (result != status::ok || buffer == nullptr) {
      throw PlayerError::playback("Unable to allocate audio buffer", result);
    }
    // Primed buffers are queued by `play`, once the fade-in they must follow is known.
    const std::int64_t position = filledFrames_.load(std::memory_order_relaxed);
    std::uint32_t frames = 0;
    if ((result = load(buffer, false, frames)) != status::ok) {
      throw PlayerError::playback("ExtAudioFileRead failed (" +
                                  boundedText(audioFile_->readFailureText(result)) + ").");
    }
    if (frames > 0) primed_.push_back(Primed{buffer, frames, position});
  }
  err_.write(std::string(messagePrefix) + "AudioQueue stereo 2ch interleaved @ " +
             wholeHertz(rate) + " Hz\n");
}

StereoFilePlayer::~StereoFilePlayer() {
  stop();
}

OSStatus StereoFilePlayer::load(QueueBuffer* buffer, bool withGain, std::uint32_t& frames) {
  const std::uint32_t capacity =
      std::min(bufferFrames * bytesPerFrame, buffer->audioDataBytesCapacity);
  frames = capacity / bytesPerFrame;
  if (const OSStatus result = audioFile_->read(frames, buffer->audioData, capacity);
      result != status::ok) {
    frames = 0;
    return result;
  }
  frames = std::min(frames, capacity / bytesPerFrame);
  if (frames == 0) {
    endOfFile_ = true;
    buffer->audioDataByteSize = 0;
    return status::ok;
  }
  auto* samples = static_cast<float*>(buffer->audioData);
  if (!didLogBufferStats_.exchange(true, std::memory_order_relaxed))
    logFirstBuffer(samples, frames);
  const std::int64_t position = filledFrames_.load(std::memory_order_relaxed);
  if (withGain) applyGain(samples, frames, position);
  buffer->audioDataByteSize = frames * bytesPerFrame;
  filledFrames_.store(position + frames, std::memory_order_relaxed);
  return status::ok;
}

void StereoFilePlayer::applyGain(float* samples, std::uint32_t frames, std::int64_t position) {
  FadeRamps ramps;
  {
    std::lock_guard lock(rampsMutex_);
    ramps = ramps_;
  }
  if (!ramps.shapes(position) && volume_.load(std::memory_order_relaxed) == 1.0f) return;
  for (std::uint32_t frame = 0; frame < frames; ++frame) {
    const std::int64_t at = position + frame;
    const float fadeIn = ramps.fadeInGain(at);
    for (std::uint32_t channel = 0; channel < 2; ++channel) {
      // Outside a fade-out the gain is read for every sample, so a change made by another
      // thread takes effect at once.
      const float gain =
          ramps.fadingOut ? ramps.fadeOutGain(at) : volume_.load(std::memory_order_relaxed);
      samples[2 * frame + channel] *= gain * fadeIn;
    }
  }
}

void StereoFilePlayer::logFirstBuffer(const float* samples, std::uint32_t frames) {
  const std::string line =
      std::string(messagePrefix) + firstBufferText(peaksOf(samples, frames), frames) + "\n";
  err_.write(line);
  writeFileAtomically(logPath_, line);  // a diagnostic only: a failure changes nothing
}

void StereoFilePlayer::renderCallback(void* context, OutputQueue& queue, QueueBuffer* buffer) {
  if (context == nullptr) return;
  static_cast<StereoFilePlayer*>(context)->refill(queue, buffer);
}

void StereoFilePlayer::refill(OutputQueue& queue, QueueBuffer* buffer) {
  if (isStopped_.load(std::memory_order_relaxed)) {
    playing_ = false;
    return;
  }
  // After the end only the audio still queued remains to be heard; after a failure, nothing.
  if (endOfFile_ || !playing_) return;
  std::uint32_t frames = 0;
  if (const OSStatus result = load(buffer, true, frames); result != status::ok) {
    fail(unreadableFurther(audioFile_->readFailureText(result)));
    return;
  }
  if (frames == 0) {
    playOut(queue);
    return;
  }
  // The queue refuses audio only when its output has gone.
  if (queue.enqueueBuffer(buffer) != status::ok) fail(outputStopped);
}

void StereoFilePlayer::fail(std::string reason) {
  if (!isStopped_) {
    std::lock_guard lock(failureMutex_);
    if (failure_.empty()) failure_ = std::move(reason);
  }
  playing_ = false;
}

std::string StereoFilePlayer::failure() const {
  std::lock_guard lock(failureMutex_);
  return failure_;
}

void StereoFilePlayer::playOut(OutputQueue& queue) {
  if (!playOutRequested_.exchange(true)) queue.stop(false);
}

void StereoFilePlayer::play(double fadeInSeconds) {
  {
    std::lock_guard lock(handles_);
    // A stop that came first (a signal right before the start) leaves nothing to play.
    if (isStopped_) return;
    if (!queue_) throw PlayerError::playback("Audio queue is not available.");
    if (fadeInSeconds > 0) {
      {
        std::lock_guard rampsLock(rampsMutex_);
        ramps_.fadeInFrames = framesOf(fadeInSeconds, clientFormat_.mSampleRate);
      }
      for (const Primed& primed : primed_) {
        applyGain(static_cast<float*>(primed.buffer->audioData), primed.frames, primed.position);
      }
    }
    for (const Primed& primed : primed_) {
      if (const OSStatus result = queue_->enqueueBuffer(primed.buffer); result != status::ok) {
        throw PlayerError::playback("AudioQueueEnqueueBuffer failed", result);
      }
    }
    primed_.clear();
    playing_ = true;
    if (const OSStatus result = queue_->start(); result != status::ok) {
      throw PlayerError::playback("AudioQueueStart failed", result);
    }
    if (endOfFile_) playOut(*queue_);
  }
  if (fadeInSeconds <= 0) {
    volume_ = 1.0f;
    return;
  }
  const auto step = microsecondsOf(fadeInSeconds / fadeSteps);
  for (int k = 1; k <= fadeSteps; ++k) {
    if (!sleepUnlessStopped(step)) return;
  }
}

void StereoFilePlayer::fadeOut(double seconds) {
  if (!(seconds > 0)) return;
  const float start = volume_.load(std::memory_order_relaxed);
  {
    std::lock_guard lock(rampsMutex_);
    const std::int64_t from = filledFrames_.load(std::memory_order_relaxed);
    ramps_.fadingOut = true;
    ramps_.fadeOutStart = start;
    ramps_.fadeOutFrom = from;
    ramps_.fadeOutTo = fadeOutEnd(from, framesOf(seconds, clientFormat_.mSampleRate), fileFrames_);
  }
  // The steps keep the gain in step with the clock, and the caller busy for the fade's length.
  const auto step = microsecondsOf(seconds / fadeSteps);
  for (int k = 1; k <= fadeSteps; ++k) {
    if (!sleepUnlessStopped(step)) return;
    volume_.store(start * (1.0f - static_cast<float>(k) / static_cast<float>(fadeSteps)),
                  std::memory_order_relaxed);
  }
}

bool StereoFilePlayer::sleepUnlessStopped(std::chrono::microseconds duration) {
  // Long steps are slept in slices, so that a stop ends a slow fade soon, not a step later.
  constexpr std::chrono::microseconds slice{100'000};
  while (duration > std::chrono::microseconds::zero()) {
    const auto piece = std::min(duration, slice);
    platform_.clock.sleepFor(piece);
    duration -= piece;
    if (isStopped_) return false;
  }
  return !isStopped_;
}

void StereoFilePlayer::stop() {
  isStopped_ = true;
  playing_ = false;
  std::lock_guard lock(handles_);
  if (queue_) {
    queue_->stop(true);
    // Waits for a refill in progress; none runs afterwards, so the file can go next.
    queue_->dispose();
    queue_.reset();
  }
  audioFile_.reset();
}

bool StereoFilePlayer::isPlaying() {
  if (isStopped_ || !playing_) return false;
  std::lock_guard lock(handles_);
  if (queue_ == nullptr) return false;
  if (queue_->isRunning()) return true;
  if (!playOutRequested_) fail(outputStopped);
  return false;
}

void StereoFilePlayer::preferOutputDevice(OutputQueue& queue, AudioHardware& hardware,
                                          OutputSink& err) {
  const AudioObjectID device = preferredOutputDevice(hardware);
  if (device == 0) return;
  std::optional<std::string> uid;
  OSStatus result = hardware.getStringProperty(device, PropertyAddress{selector::deviceUID}, uid);
  if (result == status::ok) result = queue.setCurrentDevice(uid.value_or(""));
  if (result != status::ok) {
    err.write(std::string(messagePrefix) + "AudioQueue device select status " +
              std::to_string(result) + "\n");
    return;
  }
  // The name comes from the sound server, or from whoever named the device.
  err.write(std::string(messagePrefix) + "Using output device " + std::to_string(device) + " (" +
            boundedText(deviceName(hardware, device)) + ")\n");
}

}  // namespace vellory::announcement
