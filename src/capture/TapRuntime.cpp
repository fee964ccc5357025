#include "capture/TapRuntime.hpp"

#include <algorithm>
#include <chrono>

#include "capture/ProcessInventory.hpp"
#include "capture/TapError.hpp"
#include "shared/ErrorLine.hpp"

namespace vellory::capture {

namespace {

constexpr std::chrono::microseconds retryPauses[] = {std::chrono::microseconds(250000),
                                                     std::chrono::microseconds(500000),
                                                     std::chrono::microseconds(750000)};

// One tap of the capture aggregate. A live input drives the aggregate's clock while the taps
// run on the output device's: without compensation they slip against it over a long capture.
DictionaryEntry tapEntry(const std::string& uid, bool liveInputClock) {
  DictionaryEntry entry{{aggregateKey::subTapUID, uid}};
  if (liveInputClock) entry[aggregateKey::subTapDriftCompensation] = 1;
  return entry;
}

}  // namespace

std::vector<AudioObjectID> sortedObjectIDs(const std::vector<ProcessInfo>& processes) {
  std::vector<AudioObjectID> ids;
  ids.reserve(processes.size());
  for (const auto& process : processes) ids.push_back(process.objectID);
  std::sort(ids.begin(), ids.end());
  return ids;
}

TapRuntime::TapRuntime(CoreAudioAccess& access, Clock& clock, OutputSink& err,
                       std::vector<std::string> slotPrefixes, std::optional<std::string> liveInput)
    : prefixes(std::move(slotPrefixes)),
      liveInputName(std::move(liveInput)),
      access_(access),
      clock_(clock),
      err_(err) {}

TapRuntime::~TapRuntime() {
  stop();
}

TapDescription TapRuntime::makeDescription(std::int64_t slot,
                                           const std::vector<ProcessInfo>& processes) {
  TapDescription description;
  for (const auto& process : processes) description.processes.push_back(process.objectID);
  description.name = "Kandimer application slot " + std::to_string(slot);
  description.isPrivate = false;
  description.exclusive = false;
  description.mixdown = true;
  description.mono = false;
  description.muteBehavior = TapMuteBehavior::mutedWhenTapped;
  return description;
}

TapDescription TapRuntime::replacementDescription(std::size_t index,
                                                  const std::vector<ProcessInfo>& processes) const {
  TapDescription description = makeDescription(static_cast<std::int64_t>(index) + 1, processes);
  if (index < tapUIDs.size()) description.uid = tapUIDs[index];
  description.muteBehavior = slotMute_;
  return description;
}

void TapRuntime::repointSlot(std::size_t index, const std::vector<ProcessInfo>& processes) {
  if (index >= tapIDs.size()) return;
  const TapDescription description = replacementDescription(index, processes);
  access_.hardware().setPropertyData(tapIDs[index], PropertyAddress{selector::tapDescription},
                                     description);
  if (slotProcesses_.size() <= index) slotProcesses_.resize(index + 1);
  slotProcesses_[index] = description.processes;
}

void TapRuntime::setSlotMuteBehavior(TapMuteBehavior behavior) {
  slotMute_ = behavior;
  for (std::size_t i = 0; i < tapIDs.size(); ++i) {
    TapDescription description = replacementDescription(i, {});
    if (i < slotProcesses_.size()) description.processes = slotProcesses_[i];
    access_.hardware().setPropertyData(tapIDs[i], PropertyAddress{selector::tapDescription},
                                       description);
  }
}

TapDescription TapRuntime::padDescription() {
  TapDescription description;
  description.name = "Kandimer live channel pad";
  description.isPrivate = false;
  description.exclusive = false;
  description.mixdown = true;
  description.mono = true;
  description.muteBehavior = TapMuteBehavior::unmuted;
  return description;
}

TapRuntime::BuiltSlot TapRuntime::buildSlot(std::size_t index,
                                            const std::vector<ProcessInfo>& inventory,
                                            const std::string& failureText) {
  const auto slot = static_cast<std::int64_t>(index) + 1;
  const std::vector<ProcessInfo> matches = matchingProcesses(prefixes[index], inventory);
  selectedProcessIDs.push_back(sortedObjectIDs(matches));
  AudioObjectID tap = 0;
  const TapDescription description = makeDescription(slot, matches);
  const OSStatus status = access_.hardware().createProcessTap(description, tap);
  if (status != 0) throw TapError::status(failureText, status);
  tapIDs.push_back(tap);
  slotProcesses_.resize(tapIDs.size());
  slotProcesses_.back() = description.processes;
  BuiltSlot built;
  built.tapUID = access_.string(tap, selector::tapUID);
  tapUIDs.push_back(built.tapUID);
  built.sampleRate =
      access_.scalar(tap, selector::tapFormat, AudioStreamBasicDescription{}).mSampleRate;
  built.info = SlotInfo{slot, prefixes[index], tap, matches};
  return built;
}

LiveInputResult TapRuntime::buildLiveInput() {
  const auto device = findInputDevice(access_, *liveInputName);
  if (!device) return {};
  if (device->channels % 2 == 0) return LiveInputResult{device->uid, device->channels, {}};
  AudioObjectID pad = 0;
  const OSStatus status = access_.hardware().createProcessTap(padDescription(), pad);
  if (status != 0) throw TapError::status("Create mono pad tap for live input", status);
  livePadTapID = pad;
  const std::string padUID = access_.string(pad, selector::tapUID);
  // A rebuild after the sound server came back pads again; the host has been told once.
  if (!padAnnounced_) {
    padAnnounced_ = true;
    err_.write("[process-tap] Padding " + std::to_string(device->channels) + "ch live '" +
               boundedText(*liveInputName) + "' to " + std::to_string(device->channels + 1) +
               "ch with silent mono tap.\n");
  }
  return LiveInputResult{device->uid, device->channels + 1, padUID};
}

void TapRuntime::createAggregate(const DescriptionDictionary& description) {
  OSStatus status = access_.hardware().createAggregateDevice(description, aggregateID);
  for (const auto pause : retryPauses) {
    if (status == 0) return;
    aggregateID = 0;
    if (this->pause(pause)) break;
    try {
      access_.destroyExistingAggregate();
    } catch (const ToolError&) {
      // A leftover that cannot be removed now may be gone by the next attempt.
    }
    status = access_.hardware().createAggregateDevice(description, aggregateID);
  }
  if (status != 0) {
    aggregateID = 0;
    throw TapError::status("Create aggregate device", status);
  }
}

bool TapRuntime::pause(std::chrono::microseconds duration) {
  if (stop_ == nullptr) {
    clock_.sleepFor(duration);
    return false;
  }
  return clock_.waitFor(duration, *stop_);
}

RuntimeInfo TapRuntime::start(const std::vector<ProcessInfo>& inventory) {
  access_.destroyExistingAggregate();
  double sampleRate = 48000.0;
  const std::size_t count = prefixes.size();
  std::vector<std::string> slotTapUIDs;
  std::vector<SlotInfo> slots;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    BuiltSlot built =
        buildSlot(i, inventory, "Create process tap for slot " + std::to_string(i + 1));
    sampleRate = built.sampleRate;
    slotTapUIDs.push_back(built.tapUID);
    slots.push_back(std::move(built.info));
  }
  LiveInputResult live;
  if (liveInputName) live = buildLiveInput();
  if (count > 0) {
    BuiltSlot built = buildSlot(count - 1, inventory, "Create process tap for announcement");
    sampleRate = built.sampleRate;
    slotTapUIDs.push_back(built.tapUID);
    slots.push_back(std::move(built.info));
  }

  const bool hasLiveInput = live.deviceUID && live.channels != 0;
  DictionaryList tapList;
  if (live.padTapUID) tapList.push_back(tapEntry(*live.padTapUID, hasLiveInput));
  for (const auto& uid : slotTapUIDs) tapList.push_back(tapEntry(uid, hasLiveInput));
  const AccessVariant& identity = access_.variant();
  DescriptionDictionary description;
  description.entries[aggregateKey::name] = identity.aggregateName;
  description.entries[aggregateKey::uid] = identity.aggregateUID;
  description.entries[aggregateKey::isPrivate] = false;
  description.entries[aggregateKey::tapList] = tapList;
  if (hasLiveInput) {
    description.entries[aggregateKey::mainSubDevice] = *live.deviceUID;
    description.entries[aggregateKey::subDeviceList] =
        DictionaryList{{{aggregateKey::subDeviceUID, *live.deviceUID}}};
  }
  createAggregate(description);

  RuntimeInfo report;
  report.ok = true;
  report.aggregateName = identity.aggregateName;
  report.aggregateUID = identity.aggregateUID;
  report.aggregateObjectID = aggregateID;
  report.applicationChannels = static_cast<std::uint32_t>(2 * (count > 0 ? count - 1 : 0));
  report.liveInputChannels = hasLiveInput ? live.channels : 0;
  report.announcementChannels = count > 0 ? 2 : 0;
  report.channels =
      report.applicationChannels + report.liveInputChannels + report.announcementChannels;
  if (report.liveInputChannels != 0) {
    report.liveInputName = liveInputName;
    report.liveInputUID = live.deviceUID;
  }
  report.sampleRate = sampleRate;
  report.slots = std::move(slots);
  return report;
}

void TapRuntime::forget() {
  tapIDs.clear();
  tapUIDs.clear();
  selectedProcessIDs.clear();
  slotProcesses_.clear();
  slotMute_ = TapMuteBehavior::mutedWhenTapped;
  aggregateID = 0;
  livePadTapID = 0;
}

void TapRuntime::stop() {
  if (aggregateID != 0) {
    access_.hardware().destroyAggregateDevice(aggregateID);
    aggregateID = 0;
  }
  for (auto it = tapIDs.rbegin(); it != tapIDs.rend(); ++it) {
    if (*it != 0) access_.hardware().destroyProcessTap(*it);
  }
  tapIDs.clear();
  tapUIDs.clear();
  if (livePadTapID != 0) {
    access_.hardware().destroyProcessTap(livePadTapID);
    livePadTapID = 0;
  }
}

}  // namespace vellory::capture
