#include "player/DecoderSession.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "player/HttpsOnly.hpp"

namespace vellory::player {

namespace {

// Reads what is there, waiting at most 50 ms for it so that the caller can give up; the pipe is
// read first and waited on only when it is empty. Returns the byte count, 0 at the end of the
// stream or on an error, -1 when nothing came in time.
ssize_t readSome(int fd, std::uint8_t* buffer, std::size_t size) {
  for (bool waited = false;;) {
    const ssize_t n = read(fd, buffer, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno != EAGAIN) return 0;
    if (waited) return -1;
    pollfd entry{fd, POLLIN, 0};
    const int ready = poll(&entry, 1, 50);
    if (ready == 0 || (ready < 0 && errno == EINTR)) return -1;
    if (ready < 0) return 0;
    waited = true;
  }
}

void setNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

}  // namespace

DecoderSession::DecoderSession(std::unique_ptr<ChildProcess> process, StereoPcmQueuePlayer& player,
                               std::size_t roomLimit, bool watchHttps)
    : process_(std::move(process)), player_(player) {
  setNonBlocking(process_->outputFd());
  setNonBlocking(process_->errorFd());
  outputReader_ = std::thread([this, roomLimit] { readOutput(roomLimit); });
  errorReader_ = std::thread([this, watchHttps] { readErrors(watchHttps); });
}

DecoderSession::~DecoderSession() {
  process_->terminate();
  finish(true);
}

void DecoderSession::readerDone(bool& flag) {
  {
    std::lock_guard lock(mutex_);
    flag = true;
  }
  done_.notify_all();
}

void DecoderSession::readOutput(std::size_t roomLimit) {
  std::vector<std::uint8_t> block(readBlockBytes);
  bool discarding = false;
  while (!abandon_) {
    if (!discarding && !player_.waitForRoom(roomLimit)) discarding = true;
    const ssize_t n = readSome(process_->outputFd(), block.data(), block.size());
    if (n < 0) continue;
    if (n == 0) break;
    if (!discarding) player_.append(block.data(), static_cast<std::size_t>(n));
  }
  // Known as ended before the player can finish on it, so that a finished player is never
  // taken for an output that stopped early.
  outputEnded_ = true;
  player_.markEnd();
  readerDone(outputReaderDone_);
}

void DecoderSession::scanForHttps(const std::string& collected, std::size_t added, bool atEnd,
                                  std::size_t& unscanned) {
  if (leftHttps_) return;
  // Only the new bytes are searched for a line end, so that a decoder writing megabytes without
  // one costs no more than reading them.
  std::size_t end = collected.size();
  if (!atEnd) {
    const auto lineEnd = std::string_view(collected).substr(collected.size() - added).rfind('\n');
    if (lineEnd == std::string_view::npos) return;
    end = collected.size() - added + lineEnd + 1;
  }
  if (reportsLeavingHttps(std::string_view(collected).substr(unscanned, end - unscanned))) {
    leftHttps_ = true;
  }
  unscanned = end;
}

void DecoderSession::readErrors(bool watchHttps) {
  std::vector<std::uint8_t> block(readBlockBytes);
  std::string collected;
  std::size_t unscanned = 0;
  while (!abandon_) {
    const ssize_t n = readSome(process_->errorFd(), block.data(), block.size());
    if (n < 0) continue;
    if (n == 0) break;
    collected.append(reinterpret_cast<const char*>(block.data()), static_cast<std::size_t>(n));
    if (watchHttps) scanForHttps(collected, static_cast<std::size_t>(n), false, unscanned);
  }
  if (watchHttps) scanForHttps(collected, 0, true, unscanned);
  {
    std::lock_guard lock(mutex_);
    errorBytes_ = std::move(collected);
  }
  readerDone(errorReaderDone_);
}

bool DecoderSession::waitForReaders(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  return done_.wait_until(lock, deadline, [&] { return outputReaderDone_ && errorReaderDone_; });
}

int DecoderSession::finish(bool terminated, std::chrono::milliseconds grace) {
  if (!finished_) {
    finished_ = true;
    // A stopped player lets the reader through whatever it waits for.
    player_.stop();
    if (!terminated && !process_->waitForExit(grace)) process_->terminate();
    // ffmpeg takes a first SIGTERM as "finish up", which waits for a network read that may be
    // stalled for minutes; a second one breaks off its input at once.
    if (!process_->waitForExit(secondSignalAfter)) process_->terminate();
    if (!process_->waitForExit(grace)) {
      process_->kill();
      process_->waitForExit();
    }
    // The pipes end with the decoder, unless something it started still holds them.
    waitForReaders(std::chrono::steady_clock::now() + grace);
    abandon_ = true;
    outputReader_.join();
    errorReader_.join();
  }
  return process_->terminationStatus();
}

}  // namespace vellory::player
