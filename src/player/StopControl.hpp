#pragma once

#include <atomic>
#include <mutex>

#include "player/StereoPcmQueuePlayer.hpp"
#include "shared/ChildProcess.hpp"
#include "shared/StopSignal.hpp"

namespace vellory::player {

// What a stop signal reaches: the player, the decoder once it runs, and the main thread's waits
// (those on `stopSignal()`). The signal handler keeps this object; `detach` cuts it loose before
// those objects go away. Thread-safe.
class StopControl {
 public:
  explicit StopControl(StereoPcmQueuePlayer& player) : player_(&player) {}

  // Signal-handling thread. Stops the player, terminates a running decoder, ends the waits.
  void stop();

  // Owner thread. From now on a stop also terminates `process`; a stop that came before
  // terminates it at once.
  void attach(ChildProcess& process);

  // Owner thread, after a stop: terminates the decoder if it still runs.
  void terminateAfterStop();

  // Owner thread. From now on a stop only records itself.
  void detachProcess();
  void detach();

  // Any thread.
  bool stopped() const { return stopped_; }

  // Requested last in a stop, once the player and the decoder have been stopped: a wait that it
  // ends finds them so.
  StopSignal& stopSignal() { return stopSignal_; }

  // Any thread. True when a stop found the decoder running and terminated it: the tool itself
  // ended the decoder, so its status says nothing about the source.
  bool decoderEndedByStop() const { return decoderEndedByStop_; }

 private:
  void terminateLocked();

  mutable std::mutex mutex_;
  StereoPcmQueuePlayer* player_;
  ChildProcess* process_ = nullptr;
  std::atomic<bool> stopped_{false};
  std::atomic<bool> decoderEndedByStop_{false};
  StopSignal stopSignal_;
};

}  // namespace vellory::player
