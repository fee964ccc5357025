#include "player/DecoderCommand.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "player/HttpsOnly.hpp"

namespace vellory::player {

std::vector<std::string> decoderArguments(const std::string& source, bool isURL,
                                          const std::optional<std::string>& caFile) {
  std::vector<std::string> words{"-hide_banner", "-loglevel", "error"};
  if (isURL) {
    // Without these a dropped connection ends the stream early and the decoder still exits 0;
    // the bound on the wait keeps a refused connection from retrying for two minutes.
    words.insert(words.end(), {"-reconnect", "1", "-reconnect_streamed", "1",
                               "-reconnect_on_network_error", "1", "-reconnect_delay_max", "4"});
    // A read that waits 5 s breaks off, and the connection is opened again from where it was.
    // Without it a decoder whose player was killed would wait on a stalled server for as long as
    // the stall lasts; with it, it next writes to the pipe nobody reads, and ends.
    words.insert(words.end(), {"-rw_timeout", "5000000"});
    // The decoder's TLS layer accepts any certificate unless asked to verify.
    words.insert(words.end(), {"-tls_verify", "1"});
    if (caFile) words.insert(words.end(), {"-ca_file", *caFile});
    // Everything the stream leads to (a playlist's segments and keys, a redirect) is opened
    // through these alone; plain http, udp, rtp or a local file is refused.
    words.insert(words.end(), {"-protocol_whitelist", httpsProtocols});
  }
  words.insert(words.end(), {"-i", source, "-f", "s16le", "-acodec", "pcm_s16le", "-ac", "2", "-ar",
                             "48000", "-"});
  return words;
}

std::vector<std::string> ffmpegCandidates(const std::optional<std::string>& environmentValue,
                                          const std::string& home) {
  std::vector<std::string> candidates;
  if (environmentValue) candidates.push_back(*environmentValue);
  candidates.push_back("/opt/homebrew/bin/ffmpeg");
  candidates.push_back("/usr/local/bin/ffmpeg");
  candidates.push_back(home + "/Vellory/Runtime/ffmpeg");
#if defined(__linux__)
  candidates.push_back("/usr/bin/ffmpeg");
#endif
  return candidates;
}

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  return access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> trustedCAFile(const std::optional<std::string>& platformFile) {
  if (const char* value = std::getenv("VELLORY_TLS_CA_FILE"); value != nullptr && *value != '\0') {
    return value;
  }
  return platformFile;
}

std::optional<std::string> findFFmpeg(const std::string& home) {
  std::optional<std::string> environmentValue;
  if (const char* value = std::getenv("VELLORY_FFMPEG"); value != nullptr) {
    environmentValue = value;
  }
  for (const auto& candidate : ffmpegCandidates(environmentValue, home)) {
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace vellory::player
