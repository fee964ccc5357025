#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "capture/RunReport.hpp"
#include "capture/TapRuntime.hpp"
#include "shared/CoreAudioAccess.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::capture {

// Finds out, where the platform can refuse taps without an error (the capture permission
// withheld: the taps run and carry zeros, and the tapped applications are still muted while
// the device is read), whether the slot taps deliver audio, and gives the user's sound back
// when they do not.
//
// While someone reads the capture device (looked at before our own reading starts, so that our
// reading never mutes an application that the host's would not), a tapped process plays, and no
// slot tap has delivered anything but zeros yet, it reads the device's per-channel peaks too.
// Two seconds of playing with every slot channel at zero: one line, and the slot taps are
// rewritten unmuted. From then on it reads until the first sample other than zero, which
// restores muting when tapped, with one line. Once a slot tap has delivered, it never reads
// again. The live input and the pad are not looked at. Main thread, one call at a time.
class PermissionWatch {
 public:
  static constexpr std::chrono::milliseconds interval{250};
  static constexpr std::chrono::seconds silenceLimit{2};

  PermissionWatch(TapRuntime& runtime, CoreAudioAccess& access, const RuntimeInfo& layout,
                  OutputSink& err);
  ~PermissionWatch();
  PermissionWatch(const PermissionWatch&) = delete;
  PermissionWatch& operator=(const PermissionWatch&) = delete;

  // Whether `check` has anything left to do: never where taps cannot be refused silently, and no
  // more once a slot tap has delivered.
  bool active() const { return !settled_; }
  // One look, every `interval`.
  void check(std::chrono::steady_clock::time_point now);
  // Ends the reading at once (a stop, or the device gone with the sound server). The slot taps'
  // mute behaviour is forgotten with it: a rebuilt capture starts muted when tapped.
  void end();

 private:
  bool someoneReadsTheDevice();
  bool aTappedProcessPlays();
  bool startReading(std::chrono::steady_clock::time_point now);
  bool slotChannelsDelivered(const PeakSnapshot& snapshot) const;
  void delivered();

  TapRuntime& runtime_;
  CoreAudioAccess& access_;
  OutputSink& err_;
  std::size_t firstSlotChannel_;
  std::size_t channels_;
  bool settled_;
  bool unmuted_ = false;
  std::unique_ptr<ChannelPeakReader> reader_;
  std::chrono::steady_clock::time_point silentSince_{};
  std::uint64_t silentFrames_ = 0;
};

}  // namespace vellory::capture
