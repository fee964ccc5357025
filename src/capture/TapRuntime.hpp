#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/LiveInput.hpp"
#include "capture/ProcessInfo.hpp"
#include "capture/RunReport.hpp"
#include "shared/Clock.hpp"
#include "shared/CoreAudioAccess.hpp"
#include "shared/OutputSink.hpp"
#include "shared/StopSignal.hpp"
#include "shared/TapDescription.hpp"

namespace vellory::capture {

// Owns every process tap and the capture aggregate device of one run. `start` builds them and
// returns the run report; `stop` destroys them (aggregate first, then the slot taps from last to
// first, then the pad tap) and is safe to call again. Destroying the runtime runs `stop`, so a
// failed `start` leaves nothing behind. One thread at a time.
class TapRuntime {
 public:
  TapRuntime(CoreAudioAccess& access, Clock& clock, OutputSink& err,
             std::vector<std::string> prefixes, std::optional<std::string> liveInputName);
  ~TapRuntime();
  TapRuntime(const TapRuntime&) = delete;
  TapRuntime& operator=(const TapRuntime&) = delete;

  RuntimeInfo start(const std::vector<ProcessInfo>& inventory);
  void stop();
  // Lets a stop request end the pauses between attempts to create the aggregate device; the
  // attempt that failed last is then the failure `start` reports.
  void interruptWith(StopSignal& stop) { stop_ = &stop; }
  // Forgets every object without destroying it: the platform that held them lost them all (a
  // sound server that went away). `start` may then build anew.
  void forget();

  // The description of slot `slot`'s tap: a stereo mixdown of `processes`, muted when tapped.
  static TapDescription makeDescription(std::int64_t slot,
                                        const std::vector<ProcessInfo>& processes);
  static TapDescription padDescription();
  // What the refresh writes to slot `index`'s existing tap: the slot's description over
  // `processes`, carrying the tap's UID so that the tap keeps the identity under which the
  // aggregate lists it, and the slots' current mute behaviour.
  TapDescription replacementDescription(std::size_t index,
                                        const std::vector<ProcessInfo>& processes) const;
  // Points slot `index`'s tap at `processes` with its replacement description. The write's
  // status is not looked at.
  void repointSlot(std::size_t index, const std::vector<ProcessInfo>& processes);
  // Rewrites every slot tap with `behavior`, keeping its processes (in their order) and UID;
  // later rewrites keep it too, until a rebuild starts over muted when tapped.
  void setSlotMuteBehavior(TapMuteBehavior behavior);
  TapMuteBehavior slotMuteBehavior() const { return slotMute_; }

  // Slot i's tap, its UID, prefix and the sorted process objects it listens to share index i.
  std::vector<AudioObjectID> tapIDs;
  std::vector<std::string> tapUIDs;
  AudioObjectID aggregateID = 0;
  AudioObjectID livePadTapID = 0;
  std::vector<std::string> prefixes;
  std::optional<std::string> liveInputName;
  std::vector<std::vector<AudioObjectID>> selectedProcessIDs;

 private:
  struct BuiltSlot {
    std::string tapUID;
    double sampleRate = 0;
    SlotInfo info;
  };
  BuiltSlot buildSlot(std::size_t index, const std::vector<ProcessInfo>& inventory,
                      const std::string& failureText);
  LiveInputResult buildLiveInput();
  void createAggregate(const DescriptionDictionary& description);
  // Pauses; true when a stop request ended the pause.
  bool pause(std::chrono::microseconds duration);

  CoreAudioAccess& access_;
  Clock& clock_;
  OutputSink& err_;
  StopSignal* stop_ = nullptr;
  bool padAnnounced_ = false;
  TapMuteBehavior slotMute_ = TapMuteBehavior::mutedWhenTapped;
  // The process objects each slot tap was last given, in the order given.
  std::vector<std::vector<AudioObjectID>> slotProcesses_;
};

// Object IDs of `processes`, sorted ascending.
std::vector<AudioObjectID> sortedObjectIDs(const std::vector<ProcessInfo>& processes);

}  // namespace vellory::capture
