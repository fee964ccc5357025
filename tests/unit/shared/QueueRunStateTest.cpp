#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "shared/CallGate.hpp"
#include "shared/QueueRunState.hpp"

namespace vellory {
namespace {

// A queue's side of the story as its platform tells it: the running flag as the device sets it,
// and the three places that read it (the change notice, the stop call, a poll).
struct ScriptedQueue {
  QueueRunState state;
  std::atomic<bool> flag{false};
  int flagReads = 0;

  bool readFlag() {
    ++flagReads;
    return flag.load();
  }
  // The platform's notice that the flag changed.
  void notice() {
    state.flagChanged([this] { return readFlag(); });
  }
  void check() {
    state.checkEnd([this] { return readFlag(); });
  }
  void start() { state.starting(); }
  void stop(bool immediate) {
    state.stopAsked(immediate);
    if (!immediate) check();
  }
  bool poll() {
    check();
    return state.running();
  }
  void queue(int buffers) {
    for (int i = 0; i < buffers; ++i) state.bufferQueued();
  }
  void handBack(int buffers) {
    for (int i = 0; i < buffers; ++i) {
      state.bufferReturned();
      check();
    }
  }
};

TEST(QueueRunState, PlayingOutStopEndsWhenTheFlagReadsOffWhateverNoticesCame) {
  // The usual course: the device starts, plays what is queued, stops.
  ScriptedQueue usual;
  EXPECT_FALSE(usual.poll());
  usual.queue(3);
  usual.start();
  usual.flag = true;
  usual.notice();
  EXPECT_TRUE(usual.poll());
  usual.stop(false);
  usual.handBack(3);
  EXPECT_TRUE(usual.poll());  // the device still plays out the last of it
  usual.flag = false;
  usual.notice();
  EXPECT_FALSE(usual.state.running());

  // Nothing queued: the device never starts and no notice ever comes. Only a reading ends it.
  ScriptedQueue empty;
  empty.start();
  empty.stop(false);
  EXPECT_FALSE(empty.poll());

  // A notice that reads the flag off, without one that read it on.
  ScriptedQueue offOnly;
  offOnly.start();
  offOnly.state.stopAsked(false);
  EXPECT_TRUE(offOnly.state.running());
  offOnly.notice();
  EXPECT_FALSE(offOnly.state.running());

  // The flag on, then its notice of the end lost: a poll finds the end.
  ScriptedQueue lostNotice;
  lostNotice.queue(1);
  lostNotice.start();
  lostNotice.flag = true;
  lostNotice.stop(false);
  lostNotice.handBack(1);
  lostNotice.flag = false;
  EXPECT_FALSE(lostNotice.poll());
}

TEST(QueueRunState, ShortInputIsPlayedOutBeforeTheDeviceHasStarted) {
  // A stop asked at once after the start, with one short buffer queued: the flag still reads
  // off because the device has not started yet, which is not the end.
  ScriptedQueue queue;
  queue.queue(1);
  queue.start();
  queue.stop(false);
  EXPECT_TRUE(queue.poll());
  queue.flag = true;
  queue.notice();
  queue.handBack(1);
  EXPECT_TRUE(queue.poll());
  queue.flag = false;
  EXPECT_FALSE(queue.poll());
}

TEST(QueueRunState, DeviceSeenRunningEndsWithItsFlagEvenIfBuffersStayOut) {
  ScriptedQueue queue;
  queue.queue(3);
  queue.start();
  queue.flag = true;
  queue.notice();
  queue.stop(false);
  queue.handBack(2);  // the last buffer is never handed back
  EXPECT_TRUE(queue.poll());
  queue.flag = false;
  queue.notice();
  EXPECT_FALSE(queue.state.running());
}

TEST(QueueRunState, PollsReadTheFlagOnlyWhenItCanEndTheRun) {
  ScriptedQueue queue;
  queue.queue(2);
  queue.start();
  EXPECT_TRUE(queue.poll());
  queue.stop(false);
  queue.handBack(1);
  EXPECT_TRUE(queue.poll());
  EXPECT_EQ(queue.flagReads, 0);
  queue.handBack(1);
  EXPECT_EQ(queue.flagReads, 1);
  EXPECT_FALSE(queue.state.running());
}

TEST(QueueRunState, ImmediateStopsAndFailedStartsEndAtOnce) {
  ScriptedQueue queue;
  queue.queue(3);
  queue.start();
  queue.flag = true;
  queue.stop(true);
  EXPECT_FALSE(queue.poll());
  queue.handBack(3);  // the dropped buffers come back later
  EXPECT_FALSE(queue.poll());

  queue.start();
  EXPECT_TRUE(queue.poll());
  queue.state.startFailed();
  EXPECT_FALSE(queue.poll());

  // More buffers handed back than were queued change nothing.
  queue.handBack(2);
  queue.queue(1);
  queue.start();
  queue.stop(false);
  EXPECT_TRUE(queue.poll());
}

TEST(QueueRunState, ReadingsCountOnlyForTheRunAndStopTheyWereTakenIn) {
  ScriptedQueue queue;
  queue.start();
  // A notice reads the flag off before the stop is asked, and is taken in after it: that was
  // the device not started yet.
  const auto beforeStop = queue.state.currentRun();
  ASSERT_TRUE(beforeStop);
  queue.state.stopAsked(false);
  queue.state.flagRead(*beforeStop, false);
  EXPECT_TRUE(queue.state.running());

  // A reading taken for one run, taken in after a new start.
  const auto ticket = queue.state.awaitingEnd();
  ASSERT_TRUE(ticket);
  queue.state.starting();
  queue.state.flagRead(*ticket, false);
  queue.state.flagRead(*ticket, true);
  EXPECT_TRUE(queue.state.running());
  // The old run's "on" did not count as this run's device start either.
  queue.queue(1);
  queue.state.stopAsked(false);
  queue.notice();
  EXPECT_TRUE(queue.state.running());
}

TEST(QueueRunState, NoticeRacingTheStopNeitherEndsEarlyNorHangs) {
  for (int round = 0; round < 200; ++round) {
    ScriptedQueue queue;
    queue.queue(1);
    queue.start();
    std::atomic<bool> done{false};
    std::thread notices([&] {
      while (!done.load()) queue.state.flagChanged([&] { return queue.flag.load(); });
    });
    queue.stop(false);
    ASSERT_TRUE(queue.state.running()) << "ended with a buffer still queued, round " << round;
    queue.state.bufferReturned();
    // The notice thread or the poll below ends it, whichever reads first.
    while (queue.state.running()) queue.poll();
    done = true;
    notices.join();
  }
}

TEST(CallGate, CloseWaitsForCallbacksInsideAndBarsLaterOnes) {
  CallGate gate;
  ASSERT_TRUE(gate.enter());
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    gate.close();
    closed = true;
  });
  while (!gate.closed()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(closed.load());
  gate.leave();
  closer.join();
  EXPECT_TRUE(closed.load());
  EXPECT_FALSE(gate.enter());
}

}  // namespace
}  // namespace vellory
