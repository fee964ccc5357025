#include "capture/PermissionWatch.hpp"

namespace vellory::capture {

namespace {

constexpr const char* silenceLine =
    "[process-tap] The taps deliver only silence while the applications play: the host "
    "application may not hold the permission to record system audio (System Settings, Privacy "
    "& Security, Screen & System Audio Recording). The applications stay audible until capture "
    "works.\n";
constexpr const char* worksLine =
    "[process-tap] Capture now works: the taps deliver the applications' audio, and the "
    "applications are muted on their outputs again while the device is read.\n";

}  // namespace

PermissionWatch::PermissionWatch(TapRuntime& runtime, CoreAudioAccess& access,
                                 const RuntimeInfo& layout, OutputSink& err)
    : runtime_(runtime),
      access_(access),
      err_(err),
      firstSlotChannel_(layout.liveInputChannels),
      channels_(layout.channels),
      settled_(!access.hardware().tapsCanBeRefusedSilently()) {}

PermissionWatch::~PermissionWatch() {
  reader_.reset();
}

void PermissionWatch::end() {
  reader_.reset();
  unmuted_ = false;
}

bool PermissionWatch::someoneReadsTheDevice() {
  std::uint32_t running = 0;
  const OSStatus status = readScalar(access_.hardware(), runtime_.aggregateID,
                                     PropertyAddress{selector::deviceIsRunningSomewhere}, running);
  return status == 0 && running != 0;
}

// A process whose output flag cannot be read (a system without it) is taken as not playing:
// nothing is read then, as before.
bool PermissionWatch::aTappedProcessPlays() {
  for (const auto& slot : runtime_.selectedProcessIDs) {
    for (const AudioObjectID process : slot) {
      std::uint32_t playing = 0;
      const OSStatus status = readScalar(
          access_.hardware(), process, PropertyAddress{selector::processIsRunningOutput}, playing);
      if (status == 0 && playing != 0) return true;
    }
  }
  return false;
}

bool PermissionWatch::startReading(std::chrono::steady_clock::time_point now) {
  if (runtime_.aggregateID == 0 || !someoneReadsTheDevice() || !aTappedProcessPlays()) return false;
  if (access_.hardware().readChannelPeaks(runtime_.aggregateID, channels_, reader_) != 0) {
    reader_.reset();  // tried again at the next look
    return false;
  }
  silentSince_ = now;
  silentFrames_ = 0;
  return reader_ != nullptr;
}

bool PermissionWatch::slotChannelsDelivered(const PeakSnapshot& snapshot) const {
  for (std::size_t channel = firstSlotChannel_; channel < snapshot.peaks.size(); ++channel) {
    if (snapshot.peaks[channel] != 0.0f) return true;
  }
  return false;
}

void PermissionWatch::delivered() {
  reader_.reset();
  settled_ = true;
  if (!unmuted_) return;
  unmuted_ = false;
  runtime_.setSlotMuteBehavior(TapMuteBehavior::mutedWhenTapped);
  err_.write(worksLine);
}

void PermissionWatch::check(std::chrono::steady_clock::time_point now) {
  if (settled_) return;
  if (!reader_) {
    startReading(now);
    return;
  }
  const PeakSnapshot snapshot = reader_->takePeaks();
  if (slotChannelsDelivered(snapshot)) {
    delivered();
    return;
  }
  if (unmuted_) return;  // read on until the first sound: our reading mutes nobody now
  if (!aTappedProcessPlays()) {
    // Nothing to learn while nobody plays, and our reading alone must not mute anyone later.
    reader_.reset();
    return;
  }
  silentFrames_ += snapshot.frames;
  if (silentFrames_ == 0 || now - silentSince_ < silenceLimit) return;
  err_.write(silenceLine);
  runtime_.setSlotMuteBehavior(TapMuteBehavior::unmuted);
  unmuted_ = true;
}

}  // namespace vellory::capture
