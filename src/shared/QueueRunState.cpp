#include "shared/QueueRunState.hpp"

namespace vellory {

namespace {

constexpr std::uint64_t runningBit = 1;
constexpr std::uint64_t stopAskedBit = 2;
constexpr int outShift = 2;
constexpr std::uint64_t outMask = 0xFFFF'FFFFull << outShift;
constexpr int runShift = 34;

struct Fields {
  std::uint32_t run;
  bool running;
  bool stopAsked;
  std::uint32_t out;
};

Fields unpack(std::uint64_t word) {
  return Fields{static_cast<std::uint32_t>(word >> runShift), (word & runningBit) != 0,
                (word & stopAskedBit) != 0,
                static_cast<std::uint32_t>((word & outMask) >> outShift)};
}

std::uint64_t pack(const Fields& fields) {
  return (static_cast<std::uint64_t>(fields.run & 0x3FFF'FFFFu) << runShift) |
         (static_cast<std::uint64_t>(fields.out) << outShift) |
         (fields.stopAsked ? stopAskedBit : 0) | (fields.running ? runningBit : 0);
}

bool endsOnFlagOff(const Fields& fields) {
  return fields.running && fields.stopAsked && fields.out == 0;
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
    fields.run = (fields.run + 1) & 0x3FFF'FFFFu;
    fields.running = true;
    fields.stopAsked = false;
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

std::optional<std::uint32_t> QueueRunState::awaitingEnd() const {
  const Fields fields = unpack(word_.load());
  if (!endsOnFlagOff(fields)) return std::nullopt;
  return fields.run;
}

void QueueRunState::flagRead(std::uint32_t ticket, bool platformRunning) {
  if (platformRunning) return;
  update([ticket](Fields& fields) {
    if (fields.run != ticket || !endsOnFlagOff(fields)) return false;
    fields.running = false;
    return true;
  });
}

}  // namespace vellory
