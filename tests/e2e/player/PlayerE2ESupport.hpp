#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "e2e/support/Command.hpp"
#include "e2e/support/ProcessMemory.hpp"
#include "e2e/support/SoundFixtures.hpp"
#include "e2e/support/WavFile.hpp"

namespace vellory::e2e {

// Frame k of the marker signal carries k modulo 65536, in steps of 256 so that a small change
// of level still reads back as the same number, and never reads as silence.
std::vector<std::uint8_t> markerFrames(std::size_t frameCount);
// The marker number of a 4-byte frame, or -1 for silence.
int markerOf(const std::uint8_t* frame);

// A stereo output of the test's own, removed with this object. It does not rewind: a sink that
// re-renders what it had mixed when a stream starts would leave the first frames of that stream
// out of a recording of its monitor that has already taken the old version.
class PrivateSink {
 public:
  PrivateSink();
  ~PrivateSink();
  PrivateSink(const PrivateSink&) = delete;
  PrivateSink& operator=(const PrivateSink&) = delete;
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::string module_;
};

// Records a sink's monitor as raw 48000 Hz stereo 16-bit PCM.
class MonitorRecorder {
 public:
  // Starts recording and waits until audio flows.
  explicit MonitorRecorder(const std::string& sink);
  // Takes in what has been recorded so far. A recording left unread fills its pipe and then
  // loses audio: a caller recording for more than a few seconds calls this as it goes.
  void keepUp() { recorder_.outputSoFar(); }
  // Waits until the recording holds `silentFrames` of silence after audio (at most 8 s), then
  // stops recording and returns everything recorded.
  std::vector<std::uint8_t> finish(std::size_t silentFrames = 9600);

 private:
  BackgroundProcess recorder_;
};

// An https file server on 127.0.0.1 with a fresh self-signed certificate for 127.0.0.1 and
// localhost.
class HttpsServer {
 public:
  explicit HttpsServer(const std::string& directory);
  std::string url(const std::string& name) const;
  // Its certificate, for VELLORY_TLS_CA_FILE.
  std::string certificate() const;

 private:
  TempDir keys_;
  std::unique_ptr<BackgroundProcess> server_;
  int port_ = 0;
};

// An https file server on 127.0.0.1 that paces its bytes at real time, honours byte ranges and,
// as each URL's query asks, drops, stalls or redirects (tests/tools/paced-https-server.py). It
// serves the same files over plain http too.
class PacedHttpsServer {
 public:
  explicit PacedHttpsServer(const std::string& directory);
  std::string url(const std::string& nameAndQuery) const;
  // The same over plain http.
  std::string plainUrl(const std::string& nameAndQuery) const;
  // Its certificate, for VELLORY_TLS_CA_FILE.
  std::string certificate() const;
  // The first byte of each request so far, in order.
  std::vector<long> requestStarts();
  // The path of each request so far, in order, "http:" before those made over plain http.
  std::vector<std::string> requestPaths();

 private:
  // Each request's path and first byte.
  std::vector<std::pair<std::string, long>> requests();

  TempDir keys_;
  std::unique_ptr<BackgroundProcess> server_;
  int port_ = 0;
  int plainPort_ = 0;
};

// A local port that nothing listens on.
int closedPort();

// True when a sound server is set up for the tests.
bool haveSoundServer();

// True while a decoder (a process with the decoder's arguments) for `source` runs.
bool decoderRunsFor(const std::string& source);

// A terminal's Ctrl-C to the process group of `leader` (a player started as the leader of a group
// of its own), in the order that was a fault: SIGINT to every other process of the group first,
// then, 0.1 s later, to the whole group.
void interruptLikeATerminal(pid_t leader);

// Sends SIGTERM to a player that plays `url` and checks the orderly end: status 0 within
// `limit`, nothing on standard error but `expectedErr`, and no decoder left.
void expectSigtermEndsAtOnce(BackgroundProcess& player, const std::string& url,
                             const std::string& expectedErr, std::chrono::milliseconds limit);

}  // namespace vellory::e2e
