#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "player/StereoPcmQueuePlayer.hpp"
#include "shared/ChildProcess.hpp"

namespace vellory::player {

// A running decoder with its two readers: one moves its standard output into the player (and,
// once the player has been stopped, reads on and discards, so the decoder is never held up by a
// pipe nobody reads), the other collects its standard error while it runs. The reader stops
// reading while more than `roomLimit` bytes wait in the player. A stream's session
// (`watchHttps`) also looks at each line of standard error as it comes for a part of the
// stream that left https (`reportsLeavingHttps`).
class DecoderSession {
 public:
  static constexpr std::size_t readBlockBytes = 65536;  // a whole pipe's worth
  // How long a terminated decoder may take before it is asked a second time.
  static constexpr std::chrono::milliseconds secondSignalAfter{40};

  DecoderSession(std::unique_ptr<ChildProcess> process, StereoPcmQueuePlayer& player,
                 std::size_t roomLimit, bool watchHttps = false);
  // Stops the player and ends the decoder as `finish(true)` does.
  ~DecoderSession();
  DecoderSession(const DecoderSession&) = delete;
  DecoderSession& operator=(const DecoderSession&) = delete;

  ChildProcess& process() { return *process_; }

  // Any thread. True once the reader has met the end of the decoder's output.
  bool outputEnded() const { return outputEnded_; }

  // Any thread. True once the decoder has said that part of the stream left https.
  bool leftHttps() const { return leftHttps_; }

  // Owner thread; stops the player (after it has finished, or to abandon it). Lets the decoder end
  // by itself within `grace` (unless `terminated`: it has been sent SIGTERM already), then sends
  // SIGTERM and kills it when it has not ended `grace` later; then ends both readers. Returns
  // the decoder's termination status.
  int finish(bool terminated, std::chrono::milliseconds grace = std::chrono::seconds(2));

  // Owner thread, after `finish`: everything the decoder wrote to its standard error.
  const std::string& errorBytes() const { return errorBytes_; }

 private:
  void readOutput(std::size_t roomLimit);
  void readErrors(bool watchHttps);
  // Looks at the lines of `collected` from `unscanned` that the block of its last `added` bytes
  // completed (all of them at the end of the output), and moves `unscanned` past them.
  void scanForHttps(const std::string& collected, std::size_t added, bool atEnd,
                    std::size_t& unscanned);
  // Waits until both readers are done, or until `deadline`.
  bool waitForReaders(std::chrono::steady_clock::time_point deadline);
  void readerDone(bool& flag);

  std::unique_ptr<ChildProcess> process_;
  StereoPcmQueuePlayer& player_;
  std::atomic<bool> outputEnded_{false};
  std::atomic<bool> leftHttps_{false};
  std::atomic<bool> abandon_{false};
  std::mutex mutex_;
  std::condition_variable done_;
  bool outputReaderDone_ = false;
  bool errorReaderDone_ = false;
  std::string errorBytes_;  // written by the error reader until it is joined
  bool finished_ = false;
  std::thread outputReader_;
  std::thread errorReader_;
};

}  // namespace vellory::player
