#pragma once

#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "shared/AudioHardware.hpp"
#include "shared/BufferList.hpp"

namespace vellory::testing {

// An in-memory object model: scripted lists, values, strings and statuses per call, and a
// record of every call that changes something. Thread-safe.
class FakeHardware : public AudioHardware {
 public:
  using Key = std::tuple<AudioObjectID, std::uint32_t, std::uint32_t>;  // object, selector, scope

  static Key key(AudioObjectID object, std::uint32_t selector,
                 std::uint32_t scope = scope::global) {
    return {object, selector, scope};
  }

  // --- scripting ---------------------------------------------------------------------------
  std::map<std::uint32_t, std::vector<AudioObjectID>> lists;  // system object lists by selector
  std::map<Key, std::vector<std::byte>> values;
  std::map<Key, std::optional<std::string>> strings;
  std::map<Key, OSStatus> sizeFailures;
  std::map<Key, OSStatus> readFailures;
  // Byte count a list read reports at most (an object vanished between size and data).
  std::optional<std::uint32_t> listReadLimit;
  std::deque<OSStatus> createTapResults;        // front is used per call; empty means success
  std::deque<OSStatus> createAggregateResults;  // likewise
  std::map<AudioObjectID, OSStatus> destroyAggregateFailures;
  AudioObjectID nextObjectID = 1000;
  double tapSampleRate = 48000.0;
  bool tapUIDReadable = true;
  bool tapFormatReadable = true;
  // Answers of `continuity`, front first; empty means intact. A `restarted` answer also loses
  // every tap and device, as a restarted sound server does.
  std::deque<Continuity> continuities;
  // Who answers for each pid (`responsibleProcess`); a pid not listed cannot be found.
  std::map<std::int32_t, ResponsibleProcess> responsible;
  bool tapsRefusable = false;  // `tapsCanBeRefusedSilently`
  // Readers of our devices in other processes: while there are any, or while we read a device
  // ourselves, its 'gone' (running somewhere) reads 1.
  int hostReaders = 0;
  // What a device read for its peaks delivers at each take: these peaks (missing channels
  // silent) over `framesPerTake` frames.
  std::vector<float> devicePeaks;
  std::uint64_t framesPerTake = 512;
  std::deque<OSStatus> readPeaksResults;  // front is used per call; empty means success

  template <class T>
  void setValue(AudioObjectID object, std::uint32_t selector, const T& value,
                std::uint32_t scope = scope::global) {
    std::vector<std::byte> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    values[key(object, selector, scope)] = bytes;
  }

  void addProcess(AudioObjectID id, std::int32_t pid, const std::string& bundleID, bool running);
  void addDevice(AudioObjectID id, const std::string& uid, const std::string& name,
                 std::vector<std::uint32_t> inputBuffers, std::vector<std::uint32_t> outputBuffers,
                 double sampleRate = 48000.0);

  // --- record ------------------------------------------------------------------------------
  std::vector<std::string> log;  // "createTap <name>", "destroyTap <id>", "createAggregate", ...
  std::vector<TapDescription> createdTaps;
  std::map<AudioObjectID, TapDescription> tapDescriptions;
  std::vector<std::pair<AudioObjectID, TapDescription>> descriptionWrites;
  std::vector<DescriptionDictionary> aggregateAttempts;
  std::vector<AudioObjectID> destroyedAggregates;
  std::vector<AudioObjectID> destroyedTaps;
  std::vector<AudioObjectID> liveTaps() const;
  std::vector<AudioObjectID> peakReadsStarted;  // the device of each reading begun
  int peakReaders = 0;                          // readings begun and not yet ended

  // --- AudioHardware -----------------------------------------------------------------------
  OSStatus getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                               std::uint32_t& outSize) override;
  OSStatus getPropertyData(AudioObjectID object, const PropertyAddress& address,
                           std::uint32_t& ioSize, void* data) override;
  OSStatus getStringProperty(AudioObjectID object, const PropertyAddress& address,
                             std::optional<std::string>& out) override;
  OSStatus setPropertyData(AudioObjectID object, const PropertyAddress& address,
                           const TapDescription& description) override;
  OSStatus createProcessTap(const TapDescription& description, AudioObjectID& outTap) override;
  OSStatus destroyProcessTap(AudioObjectID tap) override;
  OSStatus createAggregateDevice(const DescriptionDictionary& description,
                                 AudioObjectID& outDevice) override;
  OSStatus destroyAggregateDevice(AudioObjectID device) override;
  Continuity continuity() override;
  std::optional<ResponsibleProcess> responsibleProcess(std::int32_t pid) override;
  bool tapsCanBeRefusedSilently() const override { return tapsRefusable; }
  OSStatus readChannelPeaks(AudioObjectID device, std::size_t channels,
                            std::unique_ptr<ChannelPeakReader>& out) override;

  mutable std::recursive_mutex mutex;

 private:
  std::vector<AudioObjectID> madeAggregates_;
  std::vector<std::byte> valueOf(AudioObjectID object, const PropertyAddress& address,
                                 OSStatus& status);
};

}  // namespace vellory::testing
