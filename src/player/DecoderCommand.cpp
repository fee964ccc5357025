#include "player/DecoderCommand.hpp"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace vellory::player {

std::vector<std::string> decoderArguments(const std::string& source, bool isURL) {
  std::vector<std::string> words{"-hide_banner", "-loglevel", "error"};
  if (isURL) {
    // Without these a dropped connection ends the stream early and the decoder still exits 0;
    // the bound on the wait keeps a refused connection from retrying for two minutes.
    words.insert(words.end(), {"-reconnect", "1", "-reconnect_streamed", "1",
                               "-reconnect_on_network_error", "1", "-reconnect_delay_max", "4"});
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

namespace {

std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "";
}

}  // namespace

std::optional<std::string> findFFmpeg() {
  std::optional<std::string> environmentValue;
  if (const char* value = std::getenv("VELLORY_FFMPEG"); value != nullptr) {
    environmentValue = value;
  }
  for (const auto& candidate : ffmpegCandidates(environmentValue, homeDirectory())) {
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace vellory::player
