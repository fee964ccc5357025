#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

namespace vellory {

// Whether an output queue is running, from its start call to the end of its stop, pieced
// together from what the platform tells: the buffers it hands back and its own running flag.
//
// The platform's flag follows the device: it may turn on some time after the start, it may never
// turn on for a queue stopped before its device started, and its change notices may not come at
// all. So the end of a playing-out stop does not wait for an edge of the flag: once the stop was
// asked, any reading of the flag that shows it off ends the run, whoever takes it (a change
// notice, the stop call itself, a poll), provided that the queue cannot still be about to play:
// every queued buffer has come back, or the device was seen running since the start.
//
// Lock-free, any thread: a platform may call its notices while holding its own locks.
class QueueRunState {
 public:
  // Before the platform start: the queue counts as running from here.
  void starting();
  void startFailed();
  // Before the platform stop. An immediate stop ends the run at once.
  void stopAsked(bool immediate);
  // Before a buffer is handed to the platform; `bufferReturned` when the platform hands it back
  // (played or dropped) or refused it.
  void bufferQueued();
  void bufferReturned();

  // Reads the platform's running flag with `readFlag` when that reading can end the run, and
  // ends the run when it shows the flag off. For polls and for the stop call.
  template <class ReadFlag>
  void checkEnd(ReadFlag&& readFlag) {
    if (const auto ticket = awaitingEnd()) flagRead(*ticket, readFlag());
  }

  // Reads the flag while running, whatever the stop: for the platform's notices of a change,
  // which also tell that the device has started.
  template <class ReadFlag>
  void flagChanged(ReadFlag&& readFlag) {
    if (const auto ticket = currentRun()) flagRead(*ticket, readFlag());
  }

  bool running() const;

  // The halves of `checkEnd` and `flagChanged`: a ticket when a reading taken now can count, and
  // the reading. A reading counts only for the run its ticket was taken in, and reads the end
  // only when the stop had been asked before it was taken.
  struct Ticket {
    std::uint32_t run;
    bool afterStop;
  };
  std::optional<Ticket> awaitingEnd() const;
  std::optional<Ticket> currentRun() const;
  void flagRead(Ticket ticket, bool platformRunning);

 private:
  template <class Change>
  void update(Change&& change);

  // One word, so that every change is one atomic step: run number, flags, buffers out.
  std::atomic<std::uint64_t> word_{0};
};

}  // namespace vellory
