#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shared/ChildProcess.hpp"
#include "shared/Clock.hpp"
#include "shared/OutputQueue.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::player {

inline constexpr const char* usageLine =
    "Usage: vellory-player --url <https://…> | --file <absolute-path>";

// Starts the decoder; fails with LaunchError.
using DecoderLauncher = std::function<std::unique_ptr<ChildProcess>(
    const std::string& program, const std::vector<std::string>& args)>;

// Routes SIGINT and SIGTERM to `onStop` from now on (on a thread of its own).
using StopHandlerInstaller = std::function<void(std::function<void()> onStop)>;

// What the stream player needs from the outside world.
struct StreamPlayerPlatform {
  AudioOutput& output;
  Clock& clock;
  StopHandlerInstaller installStopHandler;
  // Looks for the decoder, given the account's home directory.
  std::function<std::optional<std::string>(const std::string& home)> findDecoder;
  DecoderLauncher launchDecoder;
  std::function<std::string()> homeDirectory;
  // The CA bundle for https when VELLORY_TLS_CA_FILE names none; absent: the decoder's own.
  std::optional<std::string> systemCAFile;
};

// Plays `source` (an https URL or an absolute path) through the decoder until its output has
// been played or a stop. Fails with PlayerError or LaunchError.
void playFFmpegSource(const std::string& source, bool isURL, const StreamPlayerPlatform& platform,
                      ToolStreams streams);

// The whole `vellory-player` program after the program name: returns the exit status.
int runStreamPlayer(const std::vector<std::string>& args, const StreamPlayerPlatform& platform,
                    ToolStreams streams);

}  // namespace vellory::player
