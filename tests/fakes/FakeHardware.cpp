#include "fakes/FakeHardware.hpp"

#include <algorithm>

namespace vellory::testing {

void FakeHardware::addProcess(AudioObjectID id, std::int32_t pid, const std::string& bundleID,
                              bool running) {
  std::lock_guard lock(mutex);
  lists[selector::processObjectList].push_back(id);
  setValue(id, selector::processPID, pid);
  strings[key(id, selector::processBundleID)] = bundleID;
  setValue<std::uint32_t>(id, selector::processIsRunning, running ? 1 : 0);
  setValue<std::uint32_t>(id, selector::processIsRunningOutput, running ? 1 : 0);
}

namespace {

// Takes what the fake device delivers; the end of the reading is logged.
class FakePeakReader : public ChannelPeakReader {
 public:
  FakePeakReader(FakeHardware& hardware, AudioObjectID device, std::size_t channels)
      : hardware_(hardware), device_(device), channels_(channels) {}
  ~FakePeakReader() override {
    std::lock_guard lock(hardware_.mutex);
    --hardware_.peakReaders;
    hardware_.log.push_back("endPeaks " + std::to_string(device_));
  }
  PeakSnapshot takePeaks() override {
    std::lock_guard lock(hardware_.mutex);
    PeakSnapshot snapshot{hardware_.framesPerTake, hardware_.devicePeaks};
    snapshot.peaks.resize(channels_, 0.0f);
    return snapshot;
  }

 private:
  FakeHardware& hardware_;
  AudioObjectID device_;
  std::size_t channels_;
};

}  // namespace

std::optional<AudioHardware::ResponsibleProcess> FakeHardware::responsibleProcess(
    std::int32_t pid) {
  std::lock_guard lock(mutex);
  const auto it = responsible.find(pid);
  if (it == responsible.end()) return std::nullopt;
  return it->second;
}

OSStatus FakeHardware::readChannelPeaks(AudioObjectID device, std::size_t channels,
                                        std::unique_ptr<ChannelPeakReader>& out) {
  std::lock_guard lock(mutex);
  log.push_back("readPeaks " + std::to_string(device));
  if (!readPeaksResults.empty()) {
    const OSStatus result = readPeaksResults.front();
    readPeaksResults.pop_front();
    if (result != 0) return result;
  }
  peakReadsStarted.push_back(device);
  ++peakReaders;
  out = std::make_unique<FakePeakReader>(*this, device, channels);
  return 0;
}

void FakeHardware::addDevice(AudioObjectID id, const std::string& uid, const std::string& name,
                             std::vector<std::uint32_t> inputBuffers,
                             std::vector<std::uint32_t> outputBuffers, double sampleRate) {
  std::lock_guard lock(mutex);
  lists[selector::devices].push_back(id);
  strings[key(id, selector::deviceUID)] = uid;
  strings[key(id, selector::objectName)] = name;
  values[key(id, selector::streamConfiguration, scope::input)] = encodeBufferList(inputBuffers);
  values[key(id, selector::streamConfiguration, scope::output)] = encodeBufferList(outputBuffers);
  setValue(id, selector::nominalSampleRate, sampleRate);
}

std::vector<AudioObjectID> FakeHardware::liveTaps() const {
  std::lock_guard lock(mutex);
  std::vector<AudioObjectID> ids;
  for (const auto& [id, description] : tapDescriptions) ids.push_back(id);
  return ids;
}

AudioHardware::Continuity FakeHardware::continuity() {
  std::lock_guard lock(mutex);
  if (continuities.empty()) return Continuity::intact;
  const Continuity answer = continuities.front();
  continuities.pop_front();
  if (answer != Continuity::intact)
    log.push_back(answer == Continuity::lost ? "lost" : "restarted");
  if (answer == Continuity::restarted) {
    tapDescriptions.clear();
    auto& devices = lists[selector::devices];
    for (const AudioObjectID made : madeAggregates_) {
      devices.erase(std::remove(devices.begin(), devices.end(), made), devices.end());
    }
  }
  return answer;
}

std::vector<std::byte> FakeHardware::valueOf(AudioObjectID object, const PropertyAddress& address,
                                             OSStatus& status) {
  status = 0;
  if (object == systemObjectID) {
    auto it = lists.find(address.selector);
    if (it == lists.end() && (address.selector == selector::processObjectList ||
                              address.selector == selector::devices)) {
      return {};
    }
    if (it != lists.end()) {
      std::vector<std::byte> bytes(it->second.size() * sizeof(AudioObjectID));
      if (!bytes.empty()) std::memcpy(bytes.data(), it->second.data(), bytes.size());
      return bytes;
    }
  }
  if (address.selector == selector::deviceIsRunningSomewhere &&
      std::find(madeAggregates_.begin(), madeAggregates_.end(), object) != madeAggregates_.end()) {
    const std::uint32_t running = hostReaders > 0 || peakReaders > 0 ? 1 : 0;
    std::vector<std::byte> bytes(sizeof running);
    std::memcpy(bytes.data(), &running, sizeof running);
    return bytes;
  }
  auto it = values.find(key(object, address.selector, address.scope));
  if (it == values.end()) {
    status = status::unknownProperty;
    return {};
  }
  return it->second;
}

OSStatus FakeHardware::getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                                           std::uint32_t& outSize) {
  std::lock_guard lock(mutex);
  if (auto it = sizeFailures.find(key(object, address.selector, address.scope));
      it != sizeFailures.end()) {
    return it->second;
  }
  OSStatus status = 0;
  const auto bytes = valueOf(object, address, status);
  if (status != 0) return status;
  outSize = static_cast<std::uint32_t>(bytes.size());
  return 0;
}

OSStatus FakeHardware::getPropertyData(AudioObjectID object, const PropertyAddress& address,
                                       std::uint32_t& ioSize, void* data) {
  std::lock_guard lock(mutex);
  if (auto it = readFailures.find(key(object, address.selector, address.scope));
      it != readFailures.end()) {
    return it->second;
  }
  OSStatus status = 0;
  const auto bytes = valueOf(object, address, status);
  if (status != 0) return status;
  std::size_t count = std::min<std::size_t>(ioSize, bytes.size());
  if (object == systemObjectID && listReadLimit)
    count = std::min<std::size_t>(count, *listReadLimit);
  if (count > 0) std::memcpy(data, bytes.data(), count);
  ioSize = static_cast<std::uint32_t>(count);
  return 0;
}

OSStatus FakeHardware::getStringProperty(AudioObjectID object, const PropertyAddress& address,
                                         std::optional<std::string>& out) {
  std::lock_guard lock(mutex);
  const Key k = key(object, address.selector, address.scope);
  if (auto it = readFailures.find(k); it != readFailures.end()) return it->second;
  auto it = strings.find(k);
  if (it == strings.end()) return status::unknownProperty;
  out = it->second;
  return 0;
}

OSStatus FakeHardware::setPropertyData(AudioObjectID object, const PropertyAddress& address,
                                       const TapDescription& description) {
  std::lock_guard lock(mutex);
  log.push_back("setDescription " + std::to_string(object));
  descriptionWrites.emplace_back(object, description);
  if (auto it = readFailures.find(key(object, address.selector)); it != readFailures.end()) {
    return it->second;
  }
  if (!tapDescriptions.count(object)) return status::badObject;
  tapDescriptions[object] = description;
  return 0;
}

OSStatus FakeHardware::createProcessTap(const TapDescription& description, AudioObjectID& outTap) {
  std::lock_guard lock(mutex);
  log.push_back("createTap " + description.name);
  createdTaps.push_back(description);
  if (!createTapResults.empty()) {
    const OSStatus result = createTapResults.front();
    createTapResults.pop_front();
    if (result != 0) return result;
  }
  outTap = nextObjectID++;
  tapDescriptions[outTap] = description;
  if (tapUIDReadable) strings[key(outTap, selector::tapUID)] = "tap-" + std::to_string(outTap);
  if (tapFormatReadable) {
    AudioStreamBasicDescription format;
    format.mSampleRate = tapSampleRate;
    format.mChannelsPerFrame = description.mono ? 1 : 2;
    setValue(outTap, selector::tapFormat, format);
  }
  return 0;
}

OSStatus FakeHardware::destroyProcessTap(AudioObjectID tap) {
  std::lock_guard lock(mutex);
  log.push_back("destroyTap " + std::to_string(tap));
  destroyedTaps.push_back(tap);
  return tapDescriptions.erase(tap) ? 0 : status::badObject;
}

OSStatus FakeHardware::createAggregateDevice(const DescriptionDictionary& description,
                                             AudioObjectID& outDevice) {
  std::lock_guard lock(mutex);
  log.push_back("createAggregate");
  aggregateAttempts.push_back(description);
  if (!createAggregateResults.empty()) {
    const OSStatus result = createAggregateResults.front();
    createAggregateResults.pop_front();
    if (result != 0) return result;
  }
  outDevice = nextObjectID++;
  madeAggregates_.push_back(outDevice);
  lists[selector::devices].push_back(outDevice);
  strings[key(outDevice, selector::deviceUID)] = description.text(aggregateKey::uid).value_or("");
  strings[key(outDevice, selector::objectName)] = description.text(aggregateKey::name).value_or("");
  return 0;
}

OSStatus FakeHardware::destroyAggregateDevice(AudioObjectID device) {
  std::lock_guard lock(mutex);
  log.push_back("destroyAggregate " + std::to_string(device));
  destroyedAggregates.push_back(device);
  if (auto it = destroyAggregateFailures.find(device); it != destroyAggregateFailures.end()) {
    return it->second;
  }
  auto& devices = lists[selector::devices];
  const auto it = std::find(devices.begin(), devices.end(), device);
  if (it == devices.end()) return status::badObject;
  devices.erase(it);
  return 0;
}

}  // namespace vellory::testing
