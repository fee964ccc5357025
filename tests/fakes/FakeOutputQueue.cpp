#include "fakes/FakeOutputQueue.hpp"

#include <algorithm>
#include <cstring>

namespace vellory::testing {

std::vector<float> QueuedCopy::floats() const {
  std::vector<float> samples(bytes.size() / sizeof(float));
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
  return samples;
}

FakeQueueCore::FakeQueueCore(AudioStreamBasicDescription queueFormat, OutputCallback callback,
                             void* callbackContext, FakeQueueScript script)
    : format(queueFormat),
      context(callbackContext),
      callback_(callback),
      script_(std::move(script)) {}

FakeQueueCore::~FakeQueueCore() {
  autoPlaying_ = false;
  if (autoPlay_.joinable()) {
    if (autoPlay_.get_id() == std::this_thread::get_id()) {
      autoPlay_.detach();
    } else {
      autoPlay_.join();
    }
  }
}

OSStatus FakeQueueCore::scripted(QueueCall call) {
  auto& list = script_.results[call];
  if (list.empty()) return status::ok;
  const OSStatus result = list.front();
  list.pop_front();
  return result;
}

void FakeQueueCore::record(std::string text) {
  calls_.push_back(std::move(text));
}

std::vector<std::string> FakeQueueCore::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::size_t FakeQueueCore::count(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(calls_.begin(), calls_.end(), [&](const auto& c) {
    return c.compare(0, prefix.size(), prefix) == 0;
  }));
}

std::vector<QueuedCopy> FakeQueueCore::queuedHistory() const {
  std::lock_guard lock(mutex_);
  return history_;
}

std::size_t FakeQueueCore::queuedNow() const {
  std::lock_guard lock(mutex_);
  return queued_.size();
}

bool FakeQueueCore::running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void FakeQueueCore::loseOutput() {
  std::lock_guard lock(mutex_);
  record("lost");
  running_ = false;
  draining_ = false;
  queued_.clear();
  changed_.notify_all();
}

bool FakeQueueCore::disposed() const {
  std::lock_guard lock(mutex_);
  return disposed_;
}

std::string FakeQueueCore::currentDevice() const {
  std::lock_guard lock(mutex_);
  return device_;
}

OSStatus FakeQueueCore::allocate(std::uint32_t byteCapacity, QueueBuffer*& outBuffer) {
  std::lock_guard lock(mutex_);
  const int call = allocations_++;
  const OSStatus result = scripted(QueueCall::allocate);
  record("allocate " + std::to_string(byteCapacity) +
         (result != 0 ? " -> " + std::to_string(result) : ""));
  if (result != status::ok) return result;
  if (script_.allocateWithoutBuffer.count(call) != 0) {
    outBuffer = nullptr;
    return status::ok;
  }
  memory_.push_back(std::make_unique<std::vector<std::byte>>(byteCapacity));
  auto buffer = std::make_unique<QueueBuffer>();
  buffer->audioData = memory_.back()->data();
  buffer->audioDataBytesCapacity = byteCapacity;
  outBuffer = buffer.get();
  buffers_.push_back(std::move(buffer));
  return status::ok;
}

OSStatus FakeQueueCore::enqueue(QueueBuffer* buffer) {
  std::lock_guard lock(mutex_);
  const auto found = std::find_if(buffers_.begin(), buffers_.end(),
                                  [&](const auto& owned) { return owned.get() == buffer; });
  const std::size_t index = static_cast<std::size_t>(found - buffers_.begin());
  OSStatus result = scripted(QueueCall::enqueue);
  if (result == status::ok) {
    if (found == buffers_.end() || buffer->audioDataByteSize == 0 ||
        buffer->audioDataByteSize > buffer->audioDataBytesCapacity) {
      result = status::paramError;
    } else if (disposed_ || (started_ && !running_)) {
      result = status::notRunning;
    }
  }
  record("enqueue " + std::to_string(index) + " " +
         std::to_string(buffer ? buffer->audioDataByteSize : 0) +
         (result != 0 ? " -> " + std::to_string(result) : ""));
  if (result != status::ok) return result;
  const auto* data = static_cast<const std::byte*>(buffer->audioData);
  history_.push_back(QueuedCopy{index, {data, data + buffer->audioDataByteSize}});
  queued_.push_back(buffer);
  changed_.notify_all();
  return status::ok;
}

OSStatus FakeQueueCore::start() {
  std::lock_guard lock(mutex_);
  const OSStatus result = disposed_ ? status::notRunning : scripted(QueueCall::start);
  record(result != 0 ? "start -> " + std::to_string(result) : "start");
  if (result != status::ok) return result;
  started_ = true;
  running_ = true;
  draining_ = false;
  changed_.notify_all();
  return status::ok;
}

OSStatus FakeQueueCore::stop(bool immediate) {
  std::lock_guard lock(mutex_);
  const OSStatus result = scripted(QueueCall::stop);
  record(std::string(immediate ? "stop immediate" : "stop playout") +
         (result != 0 ? " -> " + std::to_string(result) : ""));
  if (result != status::ok) return result;
  if (immediate) {
    running_ = false;
    draining_ = false;
    queued_.clear();
  } else if (running_) {
    draining_ = true;
    if (queued_.empty() && !inCallback_) running_ = false;
  }
  changed_.notify_all();
  return status::ok;
}

OSStatus FakeQueueCore::setCurrentDevice(const std::string& deviceUID) {
  std::lock_guard lock(mutex_);
  OSStatus result = scripted(QueueCall::setCurrentDevice);
  if (result == status::ok && script_.unknownDevices.count(deviceUID) != 0) {
    result = status::badObject;
  }
  record("setCurrentDevice " + deviceUID + (result != 0 ? " -> " + std::to_string(result) : ""));
  if (result == status::ok) device_ = deviceUID;
  return result;
}

void FakeQueueCore::attach(FakeOutputQueue* handle) {
  std::lock_guard lock(mutex_);
  handle_ = handle;
}

void FakeQueueCore::dispose(FakeOutputQueue* handle) {
  {
    std::lock_guard lock(mutex_);
    if (handle_ != handle) return;  // already disposed
    if (inCallback_ && callbackThread_ == std::this_thread::get_id()) {
      record("dispose from the callback");
      return;
    }
  }
  std::lock_guard callbackLock(callbackMutex_);
  std::lock_guard lock(mutex_);
  record("dispose");
  disposed_ = true;
  running_ = false;
  draining_ = false;
  queued_.clear();
  handle_ = nullptr;
  changed_.notify_all();
}

bool FakeQueueCore::playNext() {
  std::lock_guard callbackLock(callbackMutex_);
  QueueBuffer* buffer = nullptr;
  FakeOutputQueue* handle = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (disposed_ || !running_ || queued_.empty() || handle_ == nullptr) return false;
    buffer = queued_.front();
    queued_.pop_front();
    handle = handle_;
    inCallback_ = true;
    callbackThread_ = std::this_thread::get_id();
    changed_.notify_all();
  }
  callback_(context, *handle, buffer);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !hold_; });
  inCallback_ = false;
  if (draining_ && queued_.empty()) {
    draining_ = false;
    running_ = false;
  }
  changed_.notify_all();
  return true;
}

std::size_t FakeQueueCore::playAll(std::size_t limit) {
  std::size_t played = 0;
  while (played < limit && playNext()) ++played;
  return played;
}

void FakeQueueCore::startAutoPlay(std::chrono::microseconds interval) {
  stopAutoPlay();
  autoPlaying_ = true;
  autoPlay_ = std::thread([this, interval] {
    while (autoPlaying_) {
      playNext();
      std::this_thread::sleep_for(interval);
    }
  });
}

void FakeQueueCore::stopAutoPlay() {
  autoPlaying_ = false;
  if (autoPlay_.joinable()) autoPlay_.join();
}

bool FakeQueueCore::waitForCallbackInProgress(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return inCallback_; });
}

void FakeQueueCore::holdCallbacks(bool hold) {
  std::lock_guard lock(mutex_);
  hold_ = hold;
  changed_.notify_all();
}

FakeOutputQueue::FakeOutputQueue(std::shared_ptr<FakeQueueCore> core) : core_(std::move(core)) {
  core_->attach(this);
}

FakeOutputQueue::~FakeOutputQueue() {
  core_->dispose(this);
}

OSStatus FakeOutputQueue::allocateBuffer(std::uint32_t byteCapacity, QueueBuffer*& outBuffer) {
  return core_->allocate(byteCapacity, outBuffer);
}

OSStatus FakeOutputQueue::enqueueBuffer(QueueBuffer* buffer) {
  return core_->enqueue(buffer);
}

OSStatus FakeOutputQueue::start() {
  return core_->start();
}

OSStatus FakeOutputQueue::stop(bool immediate) {
  return core_->stop(immediate);
}

bool FakeOutputQueue::isRunning() {
  return core_->running();
}

OSStatus FakeOutputQueue::setCurrentDevice(const std::string& deviceUID) {
  return core_->setCurrentDevice(deviceUID);
}

void FakeOutputQueue::dispose() {
  core_->dispose(this);
}

void FakeAudioOutput::setScript(FakeQueueScript script) {
  std::lock_guard lock(mutex_);
  script_ = std::move(script);
}

OSStatus FakeAudioOutput::newOutput(const AudioStreamBasicDescription& format,
                                    OutputCallback callback, void* context,
                                    std::unique_ptr<OutputQueue>& outQueue) {
  std::lock_guard lock(mutex_);
  ++newOutputCalls_;
  auto& results = script_.results[QueueCall::newOutput];
  if (!results.empty()) {
    const OSStatus result = results.front();
    results.pop_front();
    if (result != status::ok) return result;
  }
  if (script_.newOutputWithoutQueue) {
    outQueue.reset();
    return status::ok;
  }
  FakeQueueScript queueScript = script_;
  queueScript.results.erase(QueueCall::newOutput);
  auto core = std::make_shared<FakeQueueCore>(format, callback, context, std::move(queueScript));
  queues_.push_back(core);
  outQueue = std::make_unique<FakeOutputQueue>(core);
  return status::ok;
}

std::size_t FakeAudioOutput::newOutputCalls() const {
  std::lock_guard lock(mutex_);
  return newOutputCalls_;
}

std::vector<std::shared_ptr<FakeQueueCore>> FakeAudioOutput::queues() const {
  std::lock_guard lock(mutex_);
  return queues_;
}

std::shared_ptr<FakeQueueCore> FakeAudioOutput::last() const {
  std::lock_guard lock(mutex_);
  return queues_.empty() ? nullptr : queues_.back();
}

}  // namespace vellory::testing
