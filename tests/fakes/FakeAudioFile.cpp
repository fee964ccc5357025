#include "fakes/FakeAudioFile.hpp"

#include <algorithm>
#include <cstring>

namespace vellory::testing {

namespace {

class FakeAudioFile : public AudioFile {
 public:
  FakeAudioFile(FakeFileScript script, std::shared_ptr<FakeAudioFileReader::Shared> shared)
      : script_(std::move(script)), shared_(std::move(shared)) {}

  ~FakeAudioFile() override {
    std::lock_guard lock(shared_->mutex);
    ++shared_->record.disposed;
    --shared_->record.open;
  }

  OSStatus fileDataFormat(AudioStreamBasicDescription& out) override {
    if (script_.formatStatus != 0) return script_.formatStatus;
    out = script_.format;
    return status::ok;
  }

  OSStatus fileLengthFrames(std::int64_t& out) override {
    if (script_.lengthStatus != 0) return script_.lengthStatus;
    out = script_.lengthFrames.value_or(
        static_cast<std::int64_t>(script_.samples.size() / script_.channels));
    return status::ok;
  }

  OSStatus setClientDataFormat(const AudioStreamBasicDescription& format) override {
    std::lock_guard lock(shared_->mutex);
    shared_->record.clientFormats.push_back(format);
    return script_.clientFormatStatus;
  }

  OSStatus read(std::uint32_t& ioFrames, void* data, std::uint32_t byteCapacity) override {
    const int call = reads_++;
    {
      std::lock_guard lock(shared_->mutex);
      ++shared_->record.reads;
      shared_->record.framesRequested.push_back(ioFrames);
    }
    if (const auto failure = script_.readFailures.find(call);
        failure != script_.readFailures.end()) {
      ioFrames = 0;
      return failure->second;
    }
    const std::size_t bytesPerFrame = script_.channels * sizeof(float);
    const std::size_t totalFrames = script_.samples.size() / script_.channels;
    std::size_t frames = std::min<std::size_t>(ioFrames, totalFrames - position_);
    frames = std::min<std::size_t>(frames, byteCapacity / bytesPerFrame);
    if (script_.maxFramesPerRead != 0)
      frames = std::min<std::size_t>(frames, script_.maxFramesPerRead);
    if (frames > 0) {
      std::memcpy(data, script_.samples.data() + position_ * script_.channels,
                  frames * bytesPerFrame);
    }
    position_ += frames;
    ioFrames = static_cast<std::uint32_t>(frames);
    return status::ok;
  }

  std::string readFailureText(OSStatus status) override {
    if (script_.readFailureText.empty()) return AudioFile::readFailureText(status);
    return script_.readFailureText;
  }

 private:
  FakeFileScript script_;
  std::shared_ptr<FakeAudioFileReader::Shared> shared_;
  std::size_t position_ = 0;
  int reads_ = 0;
};

}  // namespace

FakeAudioFileReader::FakeAudioFileReader(FakeFileScript script)
    : shared_(std::make_shared<Shared>()), script_(std::move(script)) {}

OSStatus FakeAudioFileReader::open(const std::string& path, std::unique_ptr<AudioFile>& outFile) {
  std::lock_guard lock(shared_->mutex);
  shared_->record.openedPaths.push_back(path);
  if (script_.openStatus != 0) return script_.openStatus;
  if (script_.openWithoutFile) {
    outFile.reset();
    return status::ok;
  }
  ++shared_->record.open;
  outFile = std::make_unique<FakeAudioFile>(script_, shared_);
  return status::ok;
}

FakeFileRecord FakeAudioFileReader::record() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->record;
}

void FakeAudioFileReader::setScript(FakeFileScript script) {
  std::lock_guard lock(shared_->mutex);
  script_ = std::move(script);
}

std::vector<float> constantFrames(std::size_t frames, float left, float right) {
  std::vector<float> samples(frames * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    samples[2 * i] = left;
    samples[2 * i + 1] = right;
  }
  return samples;
}

}  // namespace vellory::testing
