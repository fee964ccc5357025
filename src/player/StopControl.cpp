#include "player/StopControl.hpp"

namespace vellory::player {

void StopControl::terminateLocked() {
  if (process_ != nullptr && process_->terminate()) decoderEndedByStop_ = true;
}

void StopControl::stop() {
  std::lock_guard lock(mutex_);
  stopped_ = true;
  if (player_ != nullptr) player_->stop();
  terminateLocked();
  stopSignal_.request();
}

void StopControl::attach(ChildProcess& process) {
  std::lock_guard lock(mutex_);
  process_ = &process;
  if (stopped_) terminateLocked();
}

void StopControl::terminateAfterStop() {
  std::lock_guard lock(mutex_);
  if (stopped_) terminateLocked();
}

void StopControl::detachProcess() {
  std::lock_guard lock(mutex_);
  process_ = nullptr;
}

void StopControl::detach() {
  std::lock_guard lock(mutex_);
  player_ = nullptr;
  process_ = nullptr;
}

}  // namespace vellory::player
