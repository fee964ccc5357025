#include "shared/QueueRunState.hpp"

namespace vellory {

namespace {

constexpr std::uint64_t runningBit = 1;
constexpr std::uint64_t stopAskedBit = 2;
constexpr std::uint64_t seenOnBit = 4;
constexpr int outShift = 3;
constexpr std::uint64_t outMask = 0x7FFF'FFFFull << outShift;
constexpr int runShift = 34;
constexpr std::uint32_t runMask = 0x3FFF'FFFFu;

struct Fields {
  std::uint32_t run;
  bool running;
  bool stopAsked;
  bool seenOn;
  std::uint32_t out;
};

Fields unpack(std::uint64_t word) {
  return Fields{static_cast<std::uint32_t>(word >> runShift), (word & runningBit) != 0,
                (word & stopAskedBit) != 0, (word & seenOnBit) != 0,
                static_cast<std::uint32_t>((word & outMask) >> outShift)};
}

std::uint64_t pack(const Fields& fields) {
  return (static_cast<std::uint64_t>(fields.run & runMask) << runShift) |
         ((static_cast<std::uint64_t>(fields.out) << outShift) & outMask) |
         (fields.seenOn ? seenOnBit : 0) | (fields.stopAsked ? stopAskedBit : 0) |
         (fields.running ? runningBit : 0);
}

// A flag reading off ends the run once the stop was asked, and either every buffer is back or
// the device was seen running: it has then played out and stopped.
bool endsOnFlagOff(const Fields& fields) {
  return fields.running && fields.stopAsked && (fields.out == 0 || fields.seenOn);
}

}  // namespace

template <class Change>
void QueueRunState::update(Change&& change) {
  std::uint64_t word = word_.load();
  for (;;) {
    Fields fields = unpack(word);
    if (!change(fields)) return;
    if (word_.compare_exchange_weak(word, pack(fields))) return;
  }
}

void QueueRunState::starting() {
  update([](Fields& fields) {
    fields.run = (fields.run + 1) & runMask;
    fields.running = true;
    fields.stopAsked = false;
    fields.seenOn = false;
    return true;
  });
}

void QueueRunState::startFailed() {
  update([](Fields& fields) {
    fields.running = false;
    return true;
  });
}

void QueueRunState::stopAsked(bool immediate) {
  update([immediate](Fields& fields) {
    fields.stopAsked = true;
    if (immediate) fields.running = false;
    return true;
  });
}

void QueueRunState::bufferQueued() {
  update([](Fields& fields) {
    if (fields.out == (outMask >> outShift)) return false;
    ++fields.out;
    return true;
  });
}

void QueueRunState::bufferReturned() {
  update([](Fields& fields) {
    if (fields.out == 0) return false;  // a platform that hands back more than it took
    --fields.out;
    return true;
  });
}

bool QueueRunState::running() const {
  return unpack(word_.load()).running;
}

std::optional<QueueRunState::Ticket> QueueRunState::awaitingEnd() const {
  const Fields fields = unpack(word_.load());
  if (!endsOnFlagOff(fields)) return std::nullopt;
  return Ticket{fields.run, true};
}

std::optional<QueueRunState::Ticket> QueueRunState::currentRun() const {
  const Fields fields = unpack(word_.load());
  if (!fields.running) return std::nullopt;
  return Ticket{fields.run, fields.stopAsked};
}

void QueueRunState::flagRead(Ticket ticket, bool platformRunning) {
  update([ticket, platformRunning](Fields& fields) {
    if (fields.run != ticket.run || !fields.running) return false;
    if (platformRunning) {
      if (fields.seenOn) return false;
      fields.seenOn = true;
      return true;
    }
    // Off before the stop was asked is the device not started yet, whenever it is taken in.
    if (!ticket.afterStop || !endsOnFlagOff(fields)) return false;
    fields.running = false;
    return true;
  });
}

}  // namespace vellory
